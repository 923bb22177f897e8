#include "song/reader.h"

#include <string>
#include <vector>

#include "song/byte_cursor.h"
#include "song/log.h"
#include "song/song.h"

namespace {

// What reading one event gave.
enum class EventResult {
  kEvent,       // a complete event, to be kept
  kEndOfTrack,  // the End of Track meta event, kept as the chain's last node
  kTruncated,   // the image ended inside the event
  kInvalid,     // reading cannot go on: a quantity past four bytes, an undefined status
};

// One event as found in the image, before anything is allocated for it: a
// failed read then leaves nothing behind.
struct ParsedEvent {
  uint32_t deltaTime = 0;
  uint8_t status = 0;
  uint8_t data1 = 0;
  uint8_t data2 = 0;
  int32_t dataLength = 0;
  // For meta and system exclusive events, every byte after the status byte
  // (type, length bytes and data) as it stands in the image.
  const uint8_t* tail = nullptr;
  size_t tailLength = 0;
};

// Per-track state of the channel-message reading.
struct TrackState {
  // The last channel status byte (0x80-0xEF) of the track, 0 before the first.
  uint8_t runningStatus = 0;
};

// Data bytes that follow a channel status: Program Change (0xCn) and Channel
// Pressure (0xDn) carry one, every other channel message two.
int channelDataBytes(uint8_t status) { return (status >= 0xC0 && status <= 0xDF) ? 1 : 2; }

// Data bytes after a system common or real-time status, or -1 for the four
// undefined ones. These are messages of the MIDI wire protocol, not of a
// file; some files carry them anyway, with the wire protocol's lengths.
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

// Reads the event at the cursor. Every complete event is kept as it stands,
// whatever its values: a data byte of 0x80 or more, a meta event shorter or
// longer than its type usually is, a system exclusive message with status
// bytes inside. Only what makes further reading impossible ends the track.
// On kEvent and kEndOfTrack `event` is filled and the cursor stands after
// the event; otherwise the cursor's position is not meaningful.
EventResult parseEvent(ByteCursor& cursor, ParsedEvent& event, TrackState& state) {
  VarLenRead delta = readVarLen(cursor, event.deltaTime);
  if (delta == VarLenRead::kTruncated) return EventResult::kTruncated;
  // A quantity of five bytes or more is not MIDI: the track is out of step.
  if (delta == VarLenRead::kTooLong) return EventResult::kInvalid;

  const size_t statusPos = cursor.pos;
  uint8_t status = readByte(cursor);
  if (!cursor.ok) return EventResult::kTruncated;

  if (status < 0x80) {
    // Running status: the byte is the first data byte of a message with the
    // track's last channel status (meta and system exclusive events in
    // between do not change which one that is). Kept as in the file: the
    // first data byte in `status`, the second (if the message has one) in
    // data1. With no channel status before it, the event is taken as two
    // bytes, the common case.
    const int dataBytes = state.runningStatus == 0 ? 2 : channelDataBytes(state.runningStatus);
    event.status = status;
    event.dataLength = dataBytes - 1;
    if (dataBytes == 2) event.data1 = readByte(cursor);
    if (!cursor.ok) return EventResult::kTruncated;
    return EventResult::kEvent;
  }

  if (status < 0xF0) {
    // A channel message has a fixed length; a data byte of 0x80 or more is
    // odd but does not change where the next event starts.
    state.runningStatus = status;
    event.status = status;
    event.dataLength = channelDataBytes(status);
    event.data1 = readByte(cursor);
    if (event.dataLength == 2) event.data2 = readByte(cursor);
    if (!cursor.ok) return EventResult::kTruncated;
    return EventResult::kEvent;
  }

  event.status = status;
  if (status == 0xFF || status == 0xF0 || status == 0xF7) {
    // Meta (type, length, data) and system exclusive (length, data) events.
    // The length is a variable-length quantity; its bytes are kept as they
    // stand, so that the writer gives the event back unchanged.
    if (status == 0xFF) readByte(cursor);
    uint32_t length = 0;
    VarLenRead lengthRead = readVarLen(cursor, length);
    if (lengthRead == VarLenRead::kTruncated) return EventResult::kTruncated;
    if (lengthRead == VarLenRead::kTooLong) return EventResult::kInvalid;
    if (readSpan(cursor, length) == nullptr) return EventResult::kTruncated;
    event.tail = cursor.data + statusPos + 1;
    event.tailLength = cursor.pos - statusPos - 1;
    if (status == 0xFF && event.tail[0] == 0x2F) return EventResult::kEndOfTrack;
    return EventResult::kEvent;
  }

  const int dataBytes = systemDataBytes(status);
  if (dataBytes < 0) return EventResult::kInvalid;
  event.dataLength = dataBytes;
  if (dataBytes >= 1) event.data1 = readByte(cursor);
  if (dataBytes >= 2) event.data2 = readByte(cursor);
  if (!cursor.ok) return EventResult::kTruncated;
  return EventResult::kEvent;
}

// Moves a parsed event into `target`: copies its bytes beyond data1 and
// data2 into an `extra` block of its own, the image being freed soon after.
void storeEvent(const ParsedEvent& parsed, MidiEvent& target) {
  target.deltaTime = parsed.deltaTime;
  target.status = parsed.status;
  if (parsed.tail == nullptr) {
    target.data1 = parsed.data1;
    target.data2 = parsed.data2;
    target.dataLength = parsed.dataLength;
    return;
  }
  const size_t length = parsed.tailLength;
  target.dataLength = static_cast<int32_t>(length);
  if (length >= 1) target.data1 = parsed.tail[0];
  if (length >= 2) target.data2 = parsed.tail[1];
  if (length > 2) {
    target.extra = new uint8_t[length - 2];
    for (size_t i = 2; i < length; ++i) target.extra[i - 2] = parsed.tail[i];
  }
}

void makeEndOfTrack(MidiEvent& event) {
  event.deltaTime = 0;
  event.status = 0xFF;
  event.data1 = 0x2F;
  event.data2 = 0x00;
  event.dataLength = 2;
}

// Log lines about damage wait until the reader's own two lines are out.
struct DamageReport {
  std::vector<std::wstring> lines;
};

// `format` holds up to two %d; arguments it does not use are ignored.
void reportDamage(DamageReport& report, const wchar_t* format, int a, int b = 0) {
  wchar_t line[kLogLineUnits];
  formatLogLine(line, format, a, b);
  report.lines.emplace_back(line);
}

// Reads the track whose "MTrk" tag stands at `tagPos` into `slot`, which
// must be empty. The chain always ends with an End of Track event: the
// file's own, or one added where the track broke off. Returns where the
// search for the next tag goes on.
size_t readTrack(const uint8_t* image, size_t size, size_t tagPos, TrackSlot& slot, int trackNumber,
                 DamageReport& report) {
  // The declared chunk length is only a hint: it decides nothing about a
  // track that has its End of Track.
  ByteCursor lengthField = makeCursor(image, size, tagPos + 4);
  uint32_t declaredLength = 0;
  for (int i = 0; i < 4; ++i) declaredLength = (declaredLength << 8) | readByte(lengthField);
  const size_t declaredEnd = tagPos + kChunkHeaderSize + declaredLength;

  ByteCursor cursor = makeCursor(image, size, tagPos + kChunkHeaderSize);
  cursor.ok = true;  // a tag in the last bytes just gives a track cut short at once
  TrackState state;
  MidiEvent* last = nullptr;  // the chain's last event; null while the head is unfilled
  auto append = [&]() -> MidiEvent& {
    if (last == nullptr) {
      last = &slot.head;
    } else {
      last->next = new MidiEvent;
      last = last->next;
    }
    return *last;
  };

  while (true) {
    const size_t eventStart = cursor.pos;
    // A track that lacks its End of Track runs on past its chunk into the
    // next one. A track tag where an event should begin, at or past the
    // declared end of the chunk, is taken as that next chunk. (Before the
    // declared end the same four bytes can be events: a delta time of 77,
    // running-status data 84 114, and the next delta time.)
    if (eventStart >= declaredEnd && startsWithTag(cursor, "MTrk")) {
      makeEndOfTrack(append());
      reportDamage(report, L"Track %d has no End of Track: added at byte %d", trackNumber,
                   static_cast<int>(eventStart));
      return eventStart;
    }
    ParsedEvent parsed;
    EventResult result = parseEvent(cursor, parsed, state);
    // An event that runs across the declared end of the chunk, where the
    // next chunk's tag stands right at that end, shows that the track went
    // out of step before it: read on, it would swallow the next track whole.
    const bool crossesIntoNextChunk =
        eventStart < declaredEnd &&
        (result == EventResult::kTruncated || cursor.pos > declaredEnd) &&
        startsWithTag(makeCursor(image, size, declaredEnd), "MTrk");
    if (crossesIntoNextChunk) result = EventResult::kInvalid;
    if (result == EventResult::kEvent) {
      storeEvent(parsed, append());
      continue;
    }
    if (result == EventResult::kEndOfTrack) {
      storeEvent(parsed, append());
      // The search goes on after the End of Track event: an End of Track
      // that carries data (it should not) may hold a tag that is no track.
      return cursor.pos;
    }
    // The track ends at its last complete event, with an End of Track of
    // its own so that what is saved is a well-formed file.
    makeEndOfTrack(append());
    if (result == EventResult::kTruncated) {
      reportDamage(report, L"Track %d cut short at byte %d: End of Track added", trackNumber,
                   static_cast<int>(eventStart));
    } else {
      reportDamage(report, L"Track %d damaged at byte %d: ended there", trackNumber,
                   static_cast<int>(eventStart));
    }
    if (crossesIntoNextChunk) return declaredEnd;
    // Progress is certain: the next search starts after this track's tag.
    return eventStart > tagPos ? eventStart : tagPos + 1;
  }
}

}  // namespace

void parseSong(const uint8_t* image, int32_t size) {
  Song& song = *currentSong;
  const size_t length = size > 0 ? static_cast<size_t>(size) : 0;
  DamageReport report;

  song.trackCount = 0;
  ByteCursor header = makeCursor(image, length, 0);
  if (length < kFileHeaderSize) {
    reportDamage(report, L"File too short for a MIDI header: %d bytes", static_cast<int>(length));
  } else {
    if (!startsWithTag(header, "MThd")) {
      reportDamage(report, L"No MIDI header: tracks read anyway", 0);
    }
    // Tag, length and the format's high byte are passed over; only the low
    // byte of the format is kept. The track count is not read either:
    // tracks are counted as they are found.
    readSpan(header, 9);
    song.formatByte = readByte(header);
    readSpan(header, 2);
    const int divisionHigh = readByte(header);
    song.division = divisionHigh * 256 + readByte(header);
  }
  appendLogNumber(L"PPQN=%d", song.division);

  // Track chunks are found by their tag anywhere in the image; the chunk
  // lengths are not trusted, and anything between tracks is passed over.
  // Tracks after the 16th are read the same way and kept as they are.
  size_t p = 0;
  while (length > 5 && p < length - 5) {
    ByteCursor at = makeCursor(image, length, p);
    if (!startsWithTag(at, "MTrk")) {
      ++p;
      continue;
    }
    const int number = song.trackCount + static_cast<int>(song.extraTracks.size()) + 1;
    TrackSlot& slot = song.trackCount < kMaxTracks ? song.tracks[song.trackCount]
                                                   : song.extraTracks.emplace_back();
    p = readTrack(image, length, p, slot, number, report);
    if (song.trackCount < kMaxTracks) ++song.trackCount;
  }

  appendLogNumber(L"Loaded %d tracks", song.trackCount);
  for (const std::wstring& line : report.lines) appendLog(line.c_str());
  if (!song.extraTracks.empty()) {
    appendLogNumber(L"File has %d tracks: only the first 16 shown, the rest kept unchanged",
                    song.trackCount + static_cast<int>(song.extraTracks.size()));
  }
}
