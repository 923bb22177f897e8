#include "transform/channel_message.h"

#include "song/song.h"

ChannelMessage readChannelMessage(const MidiEvent& event, uint8_t& running) {
  ChannelMessage message;
  if (event.status >= 0xF0) return message;
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

bool isNoteStart(const ChannelMessage& message) {
  return message.isChannel && (message.status & 0xF0) == 0x90 && message.data2 != 0;
}

bool isNoteEnd(const ChannelMessage& message) {
  return message.isChannel && ((message.status & 0xF0) == 0x80 ||
                               ((message.status & 0xF0) == 0x90 && message.data2 == 0));
}
