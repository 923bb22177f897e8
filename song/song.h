// The in-memory form of one Standard MIDI File.
//
// A Song owns its 16 track slots and the tracks past them, and every event
// chained after a slot's head: they come from the song's event pool
// (newEvent) and are freed with the song. An event owns its `extra` block,
// null unless dataLength > 2. Events are kept close to their file bytes: the writer puts
// back status, data1, data2 and the extra bytes as dataLength says. What the
// file holds besides the tracks' events is kept as its `pieces`, in file
// order. Plain data, no platform services, no validation of ranges.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <new>
#include <vector>

struct MidiEvent {
  MidiEvent() = default;
  ~MidiEvent();
  MidiEvent(const MidiEvent&) = delete;
  MidiEvent& operator=(const MidiEvent&) = delete;

  // Bytes that follow `status` when written: 1 = data1, 2 = data1 data2,
  // more = data1 data2 and dataLength - 2 bytes of extra. 0 = not filled.
  int32_t dataLength = 0;
  uint32_t deltaTime = 0;
  uint8_t status = 0;  // status byte, or the first data byte under running status
  uint8_t data1 = 0;
  uint8_t data2 = 0;
  uint8_t* extra = nullptr;   // dataLength - 2 bytes, owned; null unless dataLength > 2
  MidiEvent* next = nullptr;  // not owned by the event; the song's pool frees it
};

// A slot holds its first event; the events chained after it belong to the
// song's pool, so that destroying a slot frees only the head's extra block.
struct TrackSlot {
  TrackSlot() = default;
  TrackSlot(const TrackSlot&) = delete;
  TrackSlot& operator=(const TrackSlot&) = delete;

  MidiEvent head;             // the first event; an empty slot has head.dataLength 0
  int32_t timeShift = 0;      // ticks, 0..200, 0 = off
  int32_t pitchShift = 0;     // bend steps, 0..64, 0 = off
  int32_t velocityShift = 0;  // velocity steps either way, 0..64, 0 = off
};

constexpr int kMaxTracks = 16;

// The events of a song, in blocks of nodes handed out one after another.
// A million events are a million 32-byte nodes: one allocation each would
// cost a heap header per node and most of the load time, and would scatter
// the nodes that the writer then walks in chain order. A node is built when
// it is handed out, so the unused end of a block is never touched. The pool
// destroys its nodes (and so their extra blocks) when the song goes.
struct EventPool {
  EventPool() = default;
  ~EventPool();
  EventPool(const EventPool&) = delete;
  EventPool& operator=(const EventPool&) = delete;

  struct Block {
    MidiEvent* nodes;
    size_t capacity;
    size_t used;
    size_t bytes;  // as allocated, for PoolMemory::release
  };
  std::vector<Block> blocks;
  size_t made = 0;  // nodes handed out so far
};

// Adds a block to the pool: from 256 nodes, as many as the pool has made
// so far, up to 65,536 (2 MB), so that neither a small song nor a large one
// leaves much of its last block unused.
void addPoolBlock(EventPool& pool);

// Where the pool's blocks come from: operator new and delete unless the
// program sets its own pair before its first song (the command-line tool
// asks the system for huge pages: a song of a million events then takes a
// few dozen page faults for its events instead of eight thousand).
// `allocate` may round `bytes` up, and says so; it never returns null.
// The writer takes its image from here too and releases it without its
// size (`bytes` 0): `release` must not depend on it.
struct PoolMemory {
  void* (*allocate)(size_t& bytes);
  void (*release)(void* block, size_t bytes);
};
extern PoolMemory poolMemory;

// One stretch of a file as read. The pieces of a loaded Song cover the
// file's bytes end to end; saving writes each back in its place, so that what
// the program does not understand (chunks of other kinds, data after a track's
// End of Track or after the last chunk, a RIFF wrapper) comes back unchanged.
enum class PieceKind : uint8_t {
  kBytes,   // `bytes` as read
  kHeader,  // the MThd chunk as read (`bytes`); its track count is rewritten
  kTrack,   // "MTrk", its length, the events of track `index`, then `bytes`:
            // what the chunk held after the last event that could be read
  kSize,    // a four-byte little-endian size (RIFF): the bytes written from
            // the next piece up to piece `index`, excluded
  kPad,     // the pad byte after a RIFF chunk whose size is piece `index`:
            // written (bytes[0], or 0) when that size is odd and `padWhenOdd`
};

struct FilePiece {
  PieceKind kind = PieceKind::kBytes;
  // kTrack: the track (0-15 a slot, then extraTracks); kSize: the piece
  // after the sized ones; kPad: the size piece.
  uint32_t index = 0;
  // kPad: false when the file left out the pad byte after an odd size; it
  // is then left out again, so that the chunks after it stay where they are.
  bool padWhenOdd = true;
  std::vector<uint8_t> bytes;
};

// The largest delta time a file can hold: four seven-bit groups, the longest
// variable-length quantity the Standard MIDI File format allows.
constexpr uint32_t kMaxDeltaTime = 0x0FFFFFFF;

// The fixed parts of the file: the header chunk ("MThd", its length 6, and
// format, track count and division, two bytes each), and the tag and length
// in front of every chunk.
constexpr size_t kFileHeaderSize = 14;
constexpr size_t kChunkHeaderSize = 8;

struct Song {
  Song() = default;
  Song(const Song&) = delete;
  Song& operator=(const Song&) = delete;

  int32_t trackCount = 0;  // slots 0..trackCount-1 are loaded
  int32_t division = 0;    // header bytes 12-13, unsigned big-endian
  uint8_t formatByte = 1;  // header byte 9
  TrackSlot tracks[kMaxTracks];
  uint8_t selectedTrack = 0;  // 0-based, the track the sliders show
  // The file's tracks after the 16th, in file order: never shown or
  // transformed, written back unchanged after the first 16. (A deque, since
  // slots can be neither copied nor moved.)
  std::deque<TrackSlot> extraTracks;
  // The file as read, in order; empty for a song not read from a file, which
  // is written as a 14-byte header and its tracks.
  std::vector<FilePiece> pieces;
  // The bytes of the file the song was read from, and how many events it
  // had then: what the writer expects to write back, before it knows.
  size_t bytesRead = 0;
  size_t eventsRead = 0;
  // Every event after a slot's head, of any slot.
  EventPool events;
};

// Makes a new event of `song` (the defaults of MidiEvent), owned by the song
// and freed with it. The one way to make an event that goes into a chain:
//   MidiEvent* newEvent(Song& song);
// the reader's events and the transforms' inserted ones alike. An event
// never moves, and is not freed before the song.
// The pool's last block, a new one when that is full.
inline EventPool::Block& openPoolBlock(EventPool& pool) {
  if (pool.blocks.empty() || pool.blocks.back().used == pool.blocks.back().capacity) {
    addPoolBlock(pool);
  }
  return pool.blocks.back();
}

inline MidiEvent* newEvent(Song& song) {
  EventPool& pool = song.events;
  EventPool::Block& block = openPoolBlock(pool);
  ++pool.made;
  return new (block.nodes + block.used++) MidiEvent;
}

// Takes `count` new events of `song` at once, not yet built, as runs that
// follow the pool's blocks (appended to `runs`): for a step that builds and
// links them on several threads, each its own runs, as newEvent would build
// them (placement new). Every event taken must be built before anything
// else touches the song. Should the pool fail to grow, the events taken so
// far are built and the failure goes on.
struct EventRun {
  MidiEvent* first;
  size_t count;
};
void takeEvents(Song& song, size_t count, std::vector<EventRun>& runs);
