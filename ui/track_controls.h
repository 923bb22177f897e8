// The main dialog's track controls: the three amount sliders (time, pitch,
// velocity) with their value labels, and the two style buttons. They show
// the selected track's amounts in the current style, in its units, and store
// what the user sets in app.settings; they never write into the song.
#pragma once

#include <windows.h>

#include <cstdint>

// At the dialog's start: the classic style checked, the sliders' ranges.
void initTrackControls();

// Shows the selected track: its button checked in the pane, the sliders and
// labels at its amounts in the current style. Without a song, track 1's.
void refreshTrackControls();

// WM_HSCROLL from `control`: the slider's new value, kept within its range.
void onSliderScroll(int16_t position, HWND control);

// A style button was clicked: the style its check shows applies from now on.
void onStyleButton();
