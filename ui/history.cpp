#include "ui/history.h"

#include <windows.h>

#include <ctime>
#include <memory>
#include <string>
#include <utility>

#include "platform/file_io.h"
#include "res/resource.h"
#include "song/log.h"
#include "song/reader.h"
#include "song/song.h"
#include "song/writer.h"
#include "transform/classic_press.h"
#include "transform/press_log.h"
#include "ui/main_window.h"
#include "ui/track_controls.h"

namespace {

// A file image the user has already seen read, read again without its log
// lines, with the current song's track selected.
std::unique_ptr<Song> readAgain(const std::vector<uint8_t>& image) {
  app.logMuted = true;
  std::unique_ptr<Song> song = loadSongImage(image.data(), static_cast<int32_t>(image.size()));
  app.logMuted = false;
  song->selectedTrack = app.currentSong->selectedTrack;
  return song;
}

void replaceSong(std::unique_ptr<Song> song) {
  delete app.currentSong;
  app.currentSong = song.release();
}

void showUndoItem() {
  EnableMenuItem(GetMenu(app.mainWindowHandle), ID_EDIT_UNDO,
                 MF_BYCOMMAND | (app.history.states.empty() ? MF_GRAYED : MF_ENABLED));
}

void rememberSong() {
  uint8_t* image = nullptr;
  const int32_t length = serializeSong(*app.currentSong, image);
  // A song too large for a file could not be saved either; its press just
  // can't be undone.
  if (length >= 0) {
    UndoState state{std::vector<uint8_t>(image, image + length), app.settings};
    for (int32_t dropped = rememberState(app.history, std::move(state)); dropped > 0; --dropped)
      appendLog(L"Undo history full: the oldest press can no longer be undone");
  }
  releaseImage(image);
}

// Seeded from the calendar clock in whole seconds (two presses within one
// second draw the same numbers).
void classicPressOnce(Song& song) {
  for (int32_t t = 0; t < song.trackCount; ++t) {
    TrackSlot& slot = song.tracks[t];
    const TrackSettings& s = app.settings[t];
    slot.timeShift = s.amount(PressStyle::kClassic, Slider::kTime);
    slot.pitchShift = s.amount(PressStyle::kClassic, Slider::kPitch);
    slot.velocityShift = s.velocity;
  }
  ClassicRandom random = classicRandom(song, static_cast<uint32_t>(std::time(nullptr)));
  classicPress(song, random);
}

void musicalTake() {
  std::unique_ptr<Song> take = readAgain(app.loadedBytes);
  std::vector<TrackAmounts> amounts;
  for (int32_t t = 0; t < take->trackCount; ++t) {
    const TrackSettings& s = app.settings[t];
    amounts.push_back({s.amount(PressStyle::kMusical, Slider::kTime), true,
                       s.amount(PressStyle::kMusical, Slider::kPitch), s.velocity});
  }
  const uint32_t seed = unpredictableNumber();
  appendLog((L"Seed " + std::to_wstring(seed)).c_str());
  musicalPressLogged(*take, amounts, seed);
  replaceSong(std::move(take));
}

}  // namespace

void startHistory(std::vector<uint8_t> bytes) {
  app.loadedBytes = std::move(bytes);
  clearHistory(app.history);
  app.settings = {};
  showUndoItem();
}

void transformSong() {
  if (app.currentSong == nullptr) return;
  rememberSong();
  if (app.style == PressStyle::kClassic) {
    classicPressOnce(*app.currentSong);
  } else {
    musicalTake();
  }
  showUndoItem();
}

void undoPress() {
  if (app.currentSong == nullptr || app.history.states.empty()) return;
  UndoState state = takeNewestState(app.history);
  replaceSong(readAgain(state.image));
  app.settings = state.settings;
  appendLog(L"Undone");
  refreshTrackControls();
  showUndoItem();
}
