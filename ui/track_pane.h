// The track pane (template IDD_TRACK_PANE): a child dialog inside the
// "Tracks" group box with one push-like radio button "Track %d" per loaded
// track (ids IDC_TRACK_BUTTON_FIRST + i), scrolled pixel by pixel with its own
// window scroll bars. The buttons are made once from the current song when a
// pane opens; a new load opens a new pane.
#pragma once

// Creates a pane from the current song, makes it the track pane, shows it and
// places it in the group box.
void openTrackPane();

// Lays the current pane out anew for layoutDpi: the buttons at their places
// in the pane's font, both bars back at the top, the pane fitted to its box.
void relayOutTrackPane();
