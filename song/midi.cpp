#include "song/midi.h"

#include "song/song.h"

int systemDataBytes(uint8_t status) {
  switch (status) {
    case 0xF1:  // MIDI Time Code quarter frame
    case 0xF3:  // Song Select
      return 1;
    case 0xF2:  // Song Position Pointer
      return 2;
    case 0xF4:
    case 0xF5:
    case 0xF9:
    case 0xFD:
      return -1;
    default:  // Tune Request and the real-time messages stand alone
      return 0;
  }
}

ChannelMessage readChannelMessage(const MidiEvent& event, uint8_t& running) {
  ChannelMessage message;
  if (event.status >= kSystemExclusive) return message;
  if (event.status >= 0x80) {
    running = event.status;
    message.status = event.status;
    message.data1 = event.dataLength >= 1 ? event.data1 : 0;
    message.data2 = event.dataLength >= 2 ? event.data2 : 0;
  } else {
    if (running == 0) return message;
    message.status = running;
    message.data1 = event.status;
    message.data2 = event.dataLength >= 1 ? event.data1 : 0;
  }
  message.isChannel = true;
  return message;
}

uint8_t eventByte(const MidiEvent& event, int32_t index) {
  if (index == 0) return event.data1;
  if (index == 1) return event.data2;
  return event.extra[index - 2];
}

bool findMetaPayload(const MidiEvent& event, uint8_t type, MetaPayload& payload) {
  if (event.status != kMeta || event.dataLength < 2 || event.data1 != type) return false;
  // After the type byte, the length as a variable-length quantity.
  int32_t at = 1;
  uint32_t length = 0;
  for (;; ++at) {
    if (at >= event.dataLength) return false;
    const uint8_t byte = eventByte(event, at);
    length = (length << 7) | (byte & 0x7Fu);
    if ((byte & 0x80) == 0) break;
  }
  ++at;
  if (length > static_cast<uint32_t>(event.dataLength - at)) return false;
  payload = {at, static_cast<int32_t>(length)};
  return true;
}

bool isEndOfTrack(const MidiEvent& event) {
  return event.status == kMeta && event.dataLength >= 1 && event.data1 == kMetaEndOfTrack;
}

void makeEndOfTrack(MidiEvent& event) {
  event.deltaTime = 0;
  event.status = kMeta;
  event.data1 = kMetaEndOfTrack;
  event.data2 = 0x00;
  event.dataLength = 2;
}
