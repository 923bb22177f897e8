#include "cli/track_list.h"

#include <cstdint>
#include <string>

#include "platform/utf8.h"
#include "song/log.h"
#include "song/song.h"
#include "song/midi.h"

namespace {

// A track name longer than this is cut in the list.
constexpr size_t kListedNameUnits = 60;

// A track-name meta event's text. Names carry no encoding: UTF-8 when the
// bytes are valid UTF-8, otherwise one character per byte (Latin-1).
std::wstring trackName(const MidiEvent& event, const MetaPayload& text) {
  std::string bytes;
  for (int32_t i = 0; i < text.length; ++i) bytes += static_cast<char>(eventByte(event, text.first + i));
  bool valid = false;
  std::wstring name = fromUtf8(bytes, &valid);
  if (!valid) {
    name.clear();
    for (char c : bytes) name += static_cast<wchar_t>(static_cast<unsigned char>(c));
  }
  for (wchar_t& c : name) {
    if (c < 0x20 || c == 0x7F) c = L'?';
  }
  if (name.size() > kListedNameUnits) name = name.substr(0, kListedNameUnits) + L"...";
  return name;
}

// "Track N "name": channels 1, 10; K notes", channels counted from 1.
void listTrack(int number, const MidiEvent& head, bool kept) {
  std::wstring name;
  bool named = false;
  uint8_t running = 0;
  uint32_t channels = 0;
  int64_t notes = 0;
  for (const MidiEvent* event = &head; event != nullptr; event = event->next) {
    MetaPayload text;
    if (!named && findMetaPayload(*event, kMetaTrackName, text)) {
      name = trackName(*event, text);
      named = true;
    }
    const ChannelMessage message = readChannelMessage(*event, running);
    if (!message.isChannel) continue;
    channels |= 1u << channelOf(message.status);
    if (isNoteStart(message)) ++notes;
  }
  std::wstring line = L"Track " + std::to_wstring(number);
  if (named) line += L" \"" + name + L"\"";
  std::wstring list;
  int count = 0;
  for (int channel = 0; channel < kChannelCount; ++channel) {
    if ((channels & (1u << channel)) == 0) continue;
    list += (count++ == 0 ? L" " : L", ") + std::to_wstring(channel + 1);
  }
  line +=
      count == 0 ? L": no channel messages" : (count == 1 ? L": channel" : L": channels") + list;
  line += L"; " + std::to_wstring(notes) + (notes == 1 ? L" note" : L" notes");
  if (kept) line += L"; kept unchanged by the window (the tool humanises it too)";
  appendLog(line.c_str());
}

}  // namespace

void listTracks(const Song& song) {
  int number = 1;
  for (int t = 0; t < song.trackCount; ++t) listTrack(number++, song.tracks[t].head, false);
  for (const TrackSlot& slot : song.extraTracks) listTrack(number++, slot.head, true);
}
