#include "ui/track_controls.h"

#include <commctrl.h>

#include <algorithm>

#include "res/resource.h"
#include "song/song.h"
#include "ui/main_window.h"
#include "ui/track_settings.h"

namespace {

struct SliderControls {
  Slider slider;
  int sliderId;
  int labelId;
};
constexpr SliderControls kSliders[] = {
    {Slider::kTime, IDC_TIME_SHIFT, IDC_TIME_SHIFT_VALUE},
    {Slider::kPitch, IDC_PITCH_SHIFT, IDC_PITCH_SHIFT_VALUE},
    {Slider::kVelocity, IDC_VELOCITY_SHIFT, IDC_VELOCITY_SHIFT_VALUE}};

// The value labels of time and pitch are as wide as the template makes them
// in the classic style, and wide enough for "200 ms" in the musical one.
constexpr int kClassicLabelWidth = 15;  // dialog units
constexpr int kMusicalLabelWidth = 30;

TrackSettings& selectedSettings() {
  return app.settings[app.currentSong != nullptr ? app.currentSong->selectedTrack : 0];
}

void setLabel(const SliderControls& controls, int32_t value) {
  const AmountLabel label = sliderLabelText(app.style, controls.slider, value);
  SendDlgItemMessageW(app.mainWindowHandle, controls.labelId, WM_SETTEXT, 0,
                      reinterpret_cast<LPARAM>(label.text));
}

void setRanges() {
  for (const SliderControls& c : kSliders)
    SendDlgItemMessageW(app.mainWindowHandle, c.sliderId, TBM_SETRANGE, TRUE,
                        MAKELONG(0, sliderMaximum(app.style, c.slider)));
}

void fitLabelWidth(int labelId, int width) {
  HWND label = GetDlgItem(app.mainWindowHandle, labelId);
  RECT place, size = {0, 0, width, 0};
  GetWindowRect(label, &place);
  MapDialogRect(app.mainWindowHandle, &size);
  SetWindowPos(label, nullptr, 0, 0, size.right, place.bottom - place.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

void initTrackControls() {
  CheckRadioButton(app.mainWindowHandle, IDC_STYLE_CLASSIC, IDC_STYLE_MUSICAL, IDC_STYLE_CLASSIC);
  setRanges();
}

void refreshTrackControls() {
  if (app.currentSong != nullptr)
    CheckRadioButton(app.trackPaneHandle, IDC_TRACK_BUTTON_FIRST, IDC_TRACK_BUTTON_LAST,
                     IDC_TRACK_BUTTON_FIRST + app.currentSong->selectedTrack);
  const TrackSettings& settings = selectedSettings();
  // TBM_SETPOS sends no WM_HSCROLL, so showing the amounts never stores them.
  for (const SliderControls& c : kSliders) {
    const int32_t value = settings.amount(app.style, c.slider);
    SendDlgItemMessageW(app.mainWindowHandle, c.sliderId, TBM_SETPOS, TRUE, value);
    setLabel(c, value);
  }
}

void onSliderScroll(int16_t position, HWND control) {
  for (const SliderControls& c : kSliders) {
    if (control != GetDlgItem(app.mainWindowHandle, c.sliderId)) continue;
    int32_t value = position;
    // The notification carries the thumb position only while it is dragged;
    // keys, clicks beside the thumb and the end of a drag report 0, so the
    // control itself is asked. A drag to 0 asks too, which gives 0 all the
    // same.
    if (value == 0)
      value = static_cast<int32_t>(
          SendDlgItemMessageW(app.mainWindowHandle, c.sliderId, TBM_GETPOS, 0, 0));
    // Any window can send WM_HSCROLL with any high word. An amount past the
    // range would reach the press: a pitch shift above 64 makes bend data
    // bytes of 0x80 and more, which a file can't hold.
    value = std::clamp(value, int32_t{0}, sliderMaximum(app.style, c.slider));
    selectedSettings().amount(app.style, c.slider) = value;
    setLabel(c, value);
  }
}

void onStyleButton() {
  const bool musical = IsDlgButtonChecked(app.mainWindowHandle, IDC_STYLE_MUSICAL) == BST_CHECKED;
  app.style = musical ? PressStyle::kMusical : PressStyle::kClassic;
  for (const int labelId : {IDC_TIME_SHIFT_VALUE, IDC_PITCH_SHIFT_VALUE})
    fitLabelWidth(labelId, musical ? kMusicalLabelWidth : kClassicLabelWidth);
  setRanges();
  refreshTrackControls();
}
