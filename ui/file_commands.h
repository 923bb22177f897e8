// The Load and Save commands. Each picks a path in the system's file dialog,
// does its whole job on the user-interface thread and reports every outcome
// as log lines; neither shows a message box or retries.
//
// loadSongFile asks for a path and hands it to loadSongFromPath, which every
// way of opening a file (the dialog, the command line, a drop) ends in: it
// logs the path and the outcome, and replaces currentSong and the track pane
// only after the file has been read, starting a new history (nothing to
// undo, every amount 0); a cancel or a failure leaves everything as it was.
// saveSongFile does nothing without a current song; it never leaves a target
// file half written: the image goes to a temporary file beside it first.
#pragma once

void loadSongFile();
void loadSongFromPath(const wchar_t* path);
void saveSongFile();
