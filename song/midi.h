// The MIDI facts the whole program goes by: which status bytes carry a
// channel, how many data bytes follow each status, what starts and what ends
// a note, and where a meta event's payload lies in a stored event. Every
// layer asks here instead of decoding bytes of its own.
//
// Stored events keep their file bytes (see song.h): an event read under
// running status has its first data byte in `status`, and a meta or system
// exclusive event keeps every byte after its status byte (type, length,
// data) in data1, data2 and extra.
#pragma once

#include <cstdint>

struct MidiEvent;

constexpr int kChannelCount = 16;
constexpr int kDrumChannel = 9;  // channel 10 counted from 1
constexpr int kKeysPerChannel = 128;
// A pitch bend is 14 bits, 8192 for none.
constexpr int32_t kBendCentre = 8192;
constexpr int32_t kBendMax = 16383;

// The high nibble of a channel status: the kind of message.
constexpr uint8_t kNoteOff = 0x80;
constexpr uint8_t kNoteOn = 0x90;
constexpr uint8_t kControlChange = 0xB0;
constexpr uint8_t kPitchBend = 0xE0;
// Status bytes of their own.
constexpr uint8_t kSystemExclusive = 0xF0;
constexpr uint8_t kSystemExclusiveEscape = 0xF7;
constexpr uint8_t kMeta = 0xFF;
// Meta event types.
constexpr uint8_t kMetaTrackName = 0x03;
constexpr uint8_t kMetaEndOfTrack = 0x2F;
constexpr uint8_t kMetaTempo = 0x51;

// Channel messages are 0x80 to 0xEF; running status can only stand for one
// of them, however many system exclusive or meta events lie in between.
inline bool isChannelStatus(uint8_t status) { return status >= 0x80 && status < 0xF0; }
inline uint8_t messageKind(uint8_t status) { return status & 0xF0; }
inline int channelOf(uint8_t status) { return status & 0x0F; }

// Data bytes that follow a channel status: Program Change (0xCn) and Channel
// Pressure (0xDn) carry one, every other channel message two.
inline int channelDataBytes(uint8_t status) { return (status >= 0xC0 && status <= 0xDF) ? 1 : 2; }

// Data bytes after a system common or real-time status, or -1 for the four
// undefined ones (F4, F5, F9, FD). These are messages of the MIDI wire
// protocol, not of a file; some files carry them anyway, with the wire
// protocol's lengths.
int systemDataBytes(uint8_t status);

// The channel message an event stands for, running status resolved: as if
// it carried its status byte. `running` is the channel status in force
// before the event and is updated past it (system exclusive and meta events
// leave it, as a reader must). `isChannel` is false for every other event
// and for a data byte with no channel status before it.
struct ChannelMessage {
  bool isChannel = false;
  uint8_t status = 0;
  uint8_t data1 = 0;
  uint8_t data2 = 0;
};
ChannelMessage readChannelMessage(const MidiEvent& event, uint8_t& running);

// A Note On with a velocity above 0: a note starts.
inline bool isNoteStart(const ChannelMessage& message) {
  return message.isChannel && messageKind(message.status) == kNoteOn && message.data2 != 0;
}
// A Note Off, or a Note On with velocity 0: a note ends.
inline bool isNoteEnd(const ChannelMessage& message) {
  const uint8_t kind = messageKind(message.status);
  return message.isChannel && (kind == kNoteOff || (kind == kNoteOn && message.data2 == 0));
}

// The byte at `index` after a stored event's status: data1, data2, then
// extra. `index` must be below dataLength.
uint8_t eventByte(const MidiEvent& event, int32_t index);

// Where the data of a meta event of `type` lies after its type and length
// bytes, as indexes for eventByte: [first, first + length). False for any
// other event, and for one whose length bytes run past what it holds.
struct MetaPayload {
  int32_t first = 0;
  int32_t length = 0;
};
bool findMetaPayload(const MidiEvent& event, uint8_t type, MetaPayload& payload);

// The End of Track meta event (FF 2F 00).
bool isEndOfTrack(const MidiEvent& event);
void makeEndOfTrack(MidiEvent& event);
