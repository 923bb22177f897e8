// The channel message an event stands for, running status resolved.
//
// The reader keeps events as their bytes: one read under running status has
// its first data byte in `status`. readChannelMessage gives the message as
// if it carried its status byte; `running` is the channel status in force
// before the event and is updated past it (system exclusive and meta events
// leave it, as the reader does). `isChannel` is false for every other event
// and for a data byte with no channel status before it.
#pragma once

#include <cstdint>

struct MidiEvent;

struct ChannelMessage {
  bool isChannel = false;
  uint8_t status = 0;
  uint8_t data1 = 0;
  uint8_t data2 = 0;
};

ChannelMessage readChannelMessage(const MidiEvent& event, uint8_t& running);

// A Note On with a velocity above 0: a note starts.
bool isNoteStart(const ChannelMessage& message);
// A Note Off, or a Note On with velocity 0: a note ends.
bool isNoteEnd(const ChannelMessage& message);

constexpr int kDrumChannel = 9;  // channel 10 counted from 1
