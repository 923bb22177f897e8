// Helpers for the transformer tests: build a track from a list of events,
// read it back, drive the random source with chosen draws, and an
// independent copy of the generator to predict the real draws.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <random>
#include <vector>

#include "song/song.h"
#include "transform/random_source.h"

// One event as its fields stand; dataLength 2 unless said otherwise.
struct EventFields {
  uint32_t deltaTime = 0;
  uint8_t status = 0;
  uint8_t data1 = 0;
  uint8_t data2 = 0;
  int32_t dataLength = 2;
  bool operator==(const EventFields&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const EventFields& e) {
  return out << "{delta " << e.deltaTime << ", status 0x" << std::hex << int(e.status) << std::dec
             << ", " << int(e.data1) << ", " << int(e.data2) << ", len " << e.dataLength << "}";
}

// Fills an empty slot: the first event becomes the head, the rest its chain.
// Events with dataLength > 2 get an extra block of zeros.
inline void buildTrack(TrackSlot& slot, const std::vector<EventFields>& events) {
  MidiEvent* last = nullptr;
  for (const EventFields& fields : events) {
    MidiEvent* event = last == nullptr ? &slot.head : new MidiEvent;
    event->deltaTime = fields.deltaTime;
    event->status = fields.status;
    event->data1 = fields.data1;
    event->data2 = fields.data2;
    event->dataLength = fields.dataLength;
    if (fields.dataLength > 2) event->extra = new uint8_t[fields.dataLength - 2]();
    if (last != nullptr) last->next = event;
    last = event;
  }
}

// The head, then every chained event.
inline std::vector<EventFields> trackEvents(const TrackSlot& slot) {
  std::vector<EventFields> out;
  for (const MidiEvent* e = &slot.head; e != nullptr; e = e->next) {
    out.push_back({e->deltaTime, e->status, e->data1, e->data2, e->dataLength});
  }
  return out;
}

// The nodes of a track in chain order, head first.
inline std::vector<const MidiEvent*> trackNodes(const TrackSlot& slot) {
  std::vector<const MidiEvent*> out;
  for (const MidiEvent* e = &slot.head; e != nullptr; e = e->next) out.push_back(e);
  return out;
}

// Absolute tick of every node, head first, summed in 64 bits.
inline std::vector<uint64_t> absoluteTicks(const TrackSlot& slot) {
  std::vector<uint64_t> out;
  uint64_t tick = 0;
  for (const MidiEvent* e = &slot.head; e != nullptr; e = e->next) {
    tick += e->deltaTime;
    out.push_back(tick);
  }
  return out;
}

// A random source that hands out the given raw rand() results in turn.
struct ScriptedSource {
  std::vector<uint16_t> raw;
  RandomSource source;
  explicit ScriptedSource(std::vector<uint16_t> values) : raw(std::move(values)) {
    source.scripted = raw.data();
    source.scriptedCount = static_cast<int32_t>(raw.size());
  }
  ScriptedSource(const ScriptedSource&) = delete;
  ScriptedSource& operator=(const ScriptedSource&) = delete;
};

// Raw results that make drawAround(amount) give exactly `draws` (each in
// −amount .. amount − 1).
inline std::vector<uint16_t> rawForDraws(std::initializer_list<int> draws, int amount) {
  std::vector<uint16_t> raw;
  for (int draw : draws) raw.push_back(static_cast<uint16_t>(draw + amount));
  return raw;
}

// The generator written out again from its definition, kept apart from the
// one under test: the state is a 64-bit number reduced by hand.
struct ReferenceGenerator {
  uint64_t state;
  explicit ReferenceGenerator(uint32_t seed) : state(seed) {}
  int next() {
    state = (state * 214013 + 2531011) % 4294967296ull;
    return static_cast<int>((state / 65536) % 32768);
  }
  int around(int amount) { return next() % (2 * amount) - amount; }
};

// A random track such as a sequencer writes: notes, chords (delta 0), running
// status after Note On and after Program Change, controllers, bends, meta
// and system exclusive events in between; the head is a track-name meta or
// a Note On; it ends with End of Track.
inline std::vector<EventFields> randomTrack(std::mt19937& rng, int count) {
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
  std::vector<EventFields> events;
  if (pick(2) == 0) {
    events.push_back({0, 0xFF, 0x03, 0, 2});  // empty track name
  } else {
    events.push_back({static_cast<uint32_t>(pick(3)), 0x90, 60, 90, 2});
  }
  const uint8_t channel = static_cast<uint8_t>(pick(16));
  uint8_t running = events[0].status == 0x90 ? 0x90 : 0;
  for (int i = 0; i < count; ++i) {
    // Mostly short deltas, a few zeros (chords) and now and then a long rest.
    int shape = pick(10);
    uint32_t delta = shape < 3   ? 0
                     : shape < 9 ? static_cast<uint32_t>(1 + pick(60))
                                 : static_cast<uint32_t>(pick(5000));
    uint8_t key = static_cast<uint8_t>(36 + pick(48));
    switch (pick(9)) {
      case 0:
      case 1:
        running = static_cast<uint8_t>(0x90 | channel);
        events.push_back({delta, running, key, static_cast<uint8_t>(pick(128)), 2});
        break;
      case 2:
        running = static_cast<uint8_t>(0x80 | channel);
        events.push_back({delta, running, key, 64, 2});
        break;
      case 3:
      case 4:
        // Running status: stored first data byte in status.
        if (running >= 0xC0 && running < 0xE0) {
          events.push_back({delta, key, 0, 0, 0});
        } else if (running != 0) {
          events.push_back({delta, key, static_cast<uint8_t>(pick(128)), 0, 1});
        }
        break;
      case 5:
        running = static_cast<uint8_t>(0xB0 | channel);
        events.push_back({delta, running, 7, static_cast<uint8_t>(pick(128)), 2});
        break;
      case 6:
        running = static_cast<uint8_t>(0xC0 | channel);
        events.push_back({delta, running, static_cast<uint8_t>(pick(128)), 0, 1});
        break;
      case 7:
        running = static_cast<uint8_t>(0xE0 | channel);
        events.push_back({delta, running, 0, static_cast<uint8_t>(pick(128)), 2});
        break;
      default:
        // Text meta of three bytes or a short sysex; running status goes on
        // across them as the reader keeps it.
        if (pick(2) == 0) {
          events.push_back({delta, 0xFF, 0x01, 3, 5});
        } else {
          events.push_back({delta, 0xF0, 3, 0x7E, 4});
        }
        break;
    }
  }
  events.push_back({static_cast<uint32_t>(pick(100)), 0xFF, 0x2F, 0, 2});
  return events;
}
