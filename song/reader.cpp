#include "song/reader.h"

#include <string>
#include <vector>

#include "song/byte_cursor.h"
#include "song/log.h"
#include "song/midi.h"
#include "song/song.h"

namespace {

const wchar_t kNoMidiHeaderLine[] = L"No MIDI header in the file";

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

  if (isChannelStatus(status)) {
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
  if (status == kMeta || status == kSystemExclusive || status == kSystemExclusiveEscape) {
    // Meta (type, length, data) and system exclusive (length, data) events.
    // The length is a variable-length quantity; its bytes are kept as they
    // stand, so that the writer gives the event back unchanged.
    if (status == kMeta) readByte(cursor);
    uint32_t length = 0;
    VarLenRead lengthRead = readVarLen(cursor, length);
    if (lengthRead == VarLenRead::kTruncated) return EventResult::kTruncated;
    if (lengthRead == VarLenRead::kTooLong) return EventResult::kInvalid;
    if (readSpan(cursor, length) == nullptr) return EventResult::kTruncated;
    event.tail = cursor.data + statusPos + 1;
    event.tailLength = cursor.pos - statusPos - 1;
    if (status == kMeta && event.tail[0] == kMetaEndOfTrack) return EventResult::kEndOfTrack;
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

// Where a track's bytes end in the image.
struct TrackExtent {
  size_t eventsEnd;  // after the last event read (the search for tags never looks before it)
  size_t chunkEnd;   // after the bytes kept in the track's chunk; the search goes on here
};

bool isTagAt(const uint8_t* image, size_t size, size_t at, const char tag[4]) {
  return at <= size && startsWithTag(makeCursor(image, size, at), tag);
}

// The first position in [from, to) where `tag` begins (its four bytes
// within the first `size` of the image), or `to`.
size_t findTag(const uint8_t* image, size_t size, size_t from, size_t to, const char tag[4]) {
  for (size_t at = from; at < to; ++at) {
    if (isTagAt(image, size, at, tag)) return at;
  }
  return to;
}

// Four bytes that look like a chunk tag: a letter, then letters, digits or
// blanks ("MTrk", "CASM", "OTSc", "FNRc", "LIST", "MUnk").
bool isChunkTagAt(const uint8_t* image, size_t size, size_t at) {
  if (at > size || size - at < 4) return false;
  for (size_t i = 0; i < 4; ++i) {
    const uint8_t c = image[at + i];
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (!letter && (i == 0 || !((c >= '0' && c <= '9') || c == ' '))) return false;
  }
  return true;
}

uint32_t readBigEndian32(const uint8_t* image, size_t size, size_t at) {
  ByteCursor field = makeCursor(image, size, at);
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value = (value << 8) | readByte(field);
  return value;
}

uint32_t readLittleEndian32(const uint8_t* image, size_t size, size_t at) {
  ByteCursor field = makeCursor(image, size, at);
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(readByte(field)) << (8 * i);
  return value;
}

// The end of a stretch of `length` bytes that starts at `start`, or `limit`
// when it would pass it.
size_t endWithin(size_t start, uint64_t length, size_t limit) {
  return start > limit || length > limit - start ? limit : start + static_cast<size_t>(length);
}

// Reads the track whose "MTrk" tag stands at `tagPos` into `slot`, which
// must be empty; the image is read no further than `size`. The chain always
// ends with an End of Track event: the file's own, or one added where the
// track broke off.
TrackExtent readTrack(const uint8_t* image, size_t size, size_t tagPos, Song& song,
                      TrackSlot& slot, int trackNumber, DamageReport& report) {
  // The declared chunk length is only a hint: it decides nothing about a
  // track that has its End of Track.
  const uint32_t declaredLength = readBigEndian32(image, size, tagPos + 4);
  const size_t declaredEnd = tagPos + kChunkHeaderSize + declaredLength;

  ByteCursor cursor = makeCursor(image, size, tagPos + kChunkHeaderSize);
  cursor.ok = true;  // a tag in the last bytes just gives a track cut short at once
  TrackState state;
  MidiEvent* last = nullptr;  // the chain's last event; null while the head is unfilled
  auto append = [&]() -> MidiEvent& {
    if (last == nullptr) {
      last = &slot.head;
    } else {
      last->next = newEvent(song);
      last = last->next;
    }
    return *last;
  };

  // The bytes between the last event read and the declared end of the chunk
  // (data after End of Track, or what could not be read as events) stay in
  // the chunk, unless the length is plainly wrong: past the image, or over
  // the next track's tag.
  auto extent = [&](size_t eventsEnd) -> TrackExtent {
    const bool keepToDeclaredEnd =
        eventsEnd <= declaredEnd && declaredEnd <= size &&
        findTag(image, size, eventsEnd, declaredEnd, "MTrk") == declaredEnd;
    return {eventsEnd, keepToDeclaredEnd ? declaredEnd : eventsEnd};
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
      return {eventStart, eventStart};
    }
    ParsedEvent parsed;
    EventResult result = parseEvent(cursor, parsed, state);
    // An event that runs across the declared end of the chunk, where the
    // next chunk's tag stands right at that end, shows that the track went
    // out of step before it: read on, it would swallow the next chunk.
    const bool crossesIntoNextChunk =
        eventStart < declaredEnd &&
        (result == EventResult::kTruncated || cursor.pos > declaredEnd) &&
        isChunkTagAt(image, size, declaredEnd);
    if (crossesIntoNextChunk) result = EventResult::kInvalid;
    if (result == EventResult::kEvent) {
      storeEvent(parsed, append());
      continue;
    }
    if (result == EventResult::kEndOfTrack) {
      storeEvent(parsed, append());
      // The search goes on after the End of Track event: an End of Track
      // that carries data (it should not) may hold a tag that is no track.
      return extent(cursor.pos);
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
    return extent(eventStart);
  }
}

// Where the MIDI data of an image lies: the whole image, or the content of
// the "data" chunk of a RIFF MIDI file ("RIFF", size, "RMID", chunks).
struct Container {
  size_t start = 0;  // the MIDI data
  size_t end = 0;
  bool wrapped = false;
  // The RIFF's own extent, the "data" chunk's tag and whether a pad byte
  // follows its data; set only when wrapped.
  size_t riffEnd = 0;
  size_t dataTag = 0;
  bool oddWithoutPad = false;
  bool hasPad = false;
};

Container findContainer(const uint8_t* image, size_t size) {
  Container container;
  container.end = size;
  if (!isTagAt(image, size, 0, "RIFF") || !isTagAt(image, size, 8, "RMID")) return container;
  // RIFF sizes are little-endian and count the bytes after the size field;
  // a chunk of odd size is followed by a pad byte.
  const size_t riffEnd = endWithin(8, readLittleEndian32(image, size, 4), size);
  for (size_t at = 12; at < riffEnd && riffEnd - at >= kChunkHeaderSize;) {
    const uint32_t chunkSize = readLittleEndian32(image, size, at + 4);
    if (isTagAt(image, size, at, "data")) {
      container.wrapped = true;
      container.start = at + kChunkHeaderSize;
      container.end = endWithin(container.start, chunkSize, size);
      container.dataTag = at;
      const bool odd = (container.end - container.start) % 2 == 1;
      // Writers that leave the pad out put the next chunk's tag right after
      // the data; a pad byte is 0.
      container.hasPad = odd && container.end < riffEnd && image[container.end] == 0;
      container.oddWithoutPad = odd && !container.hasPad;
      container.riffEnd = riffEnd > container.end + container.hasPad ? riffEnd
                                                                      : container.end + container.hasPad;
      return container;
    }
    if (chunkSize > riffEnd - at - kChunkHeaderSize) break;
    at += kChunkHeaderSize + chunkSize + (chunkSize % 2);
  }
  return container;
}

void keepBytes(Song& song, const uint8_t* image, size_t from, size_t to) {
  if (from >= to) return;
  FilePiece& piece = song.pieces.emplace_back();
  piece.bytes.assign(image + from, image + to);
}

size_t addPiece(Song& song, PieceKind kind, uint32_t index = 0) {
  FilePiece& piece = song.pieces.emplace_back();
  piece.kind = kind;
  piece.index = index;
  return song.pieces.size() - 1;
}

// The MIDI data in [start, end): the first MThd chunk, then every track
// chunk found by its tag, and what lies between them kept as it stands.
void readMidiData(const uint8_t* image, size_t start, size_t end, size_t header, Song& song,
                  DamageReport& report) {
  keepBytes(song, image, start, header);
  // The header's declared length says where it ends (6 when it says less),
  // but it ends at the data's end, and before the first track tag. Not
  // before one that takes in the track count (bytes 10 and 11), though: the
  // writer puts the number of tracks there, and a number that spelled part
  // of a tag would end the header anew each time the file is read.
  const uint32_t declared = readBigEndian32(image, end, header + 4);
  size_t headerEnd = endWithin(header, kFileHeaderSize, end);
  if (declared > kFileHeaderSize - kChunkHeaderSize) {
    headerEnd = endWithin(header + kChunkHeaderSize, declared, end);
  }
  size_t tag = findTag(image, end, header + 4, headerEnd, "MTrk");
  while (tag + 4 > header + 10 && tag < header + 12 && tag < headerEnd) {
    tag = findTag(image, end, tag + 1, headerEnd, "MTrk");
  }
  headerEnd = tag;
  FilePiece& headerPiece = song.pieces[addPiece(song, PieceKind::kHeader)];
  headerPiece.bytes.assign(image + header, image + headerEnd);

  if (end - header < kFileHeaderSize) {
    reportDamage(report, L"File too short for a MIDI header: %d bytes",
                 static_cast<int>(end - header));
  } else {
    // Only the low byte of the format and the division are kept; the track
    // count is not read: tracks are counted as they are found.
    song.formatByte = image[header + 9];
    song.division = image[header + 12] * 256 + image[header + 13];
  }

  // Track chunks are found by their tag; the chunk lengths are not trusted.
  // Tracks after the 16th are read the same way and kept as they are. A chunk
  // of another kind that stands where a chunk should begin is passed over
  // whole, up to where its length says (at most the end of the data): a
  // style's "OTSc" chunk holds "MTrk" chunks of its own, which belong to it
  // and not to the song. Whatever such a chunk holds stays as it is, so a
  // saved file reads back the same way.
  size_t kept = headerEnd;
  size_t p = headerEnd;
  size_t boundary = headerEnd;  // where the next chunk should begin
  while (end > 5 && p < end - 5) {
    // (Four letters that run into a track's tag are the end of something
    // else, not a chunk's tag.)
    if (p == boundary && !isTagAt(image, end, p, "MTrk") && isChunkTagAt(image, end, p) &&
        findTag(image, end, p + 1, p + kChunkHeaderSize, "MTrk") == p + kChunkHeaderSize) {
      p = boundary = endWithin(p + kChunkHeaderSize, readBigEndian32(image, end, p + 4), end);
      continue;
    }
    if (!isTagAt(image, end, p, "MTrk")) {
      ++p;
      continue;
    }
    keepBytes(song, image, kept, p);
    const int index = song.trackCount + static_cast<int>(song.extraTracks.size());
    TrackSlot& slot = song.trackCount < kMaxTracks ? song.tracks[song.trackCount]
                                                   : song.extraTracks.emplace_back();
    const size_t piece = addPiece(song, PieceKind::kTrack, static_cast<uint32_t>(index));
    const TrackExtent extent = readTrack(image, end, p, song, slot, index + 1, report);
    if (song.trackCount < kMaxTracks) ++song.trackCount;
    // The bytes after the events (and after an End of Track added there)
    // that the chunk still holds.
    song.pieces[piece].bytes.assign(image + extent.eventsEnd, image + extent.chunkEnd);
    kept = p = boundary = extent.chunkEnd;
  }
  keepBytes(song, image, kept, end);
}

}  // namespace

bool findMidiHeader(const uint8_t* image, int32_t size) {
  const size_t length = size > 0 ? static_cast<size_t>(size) : 0;
  const Container container = findContainer(image, length);
  return findTag(image, container.end, container.start, container.end, "MThd") != container.end;
}

std::unique_ptr<Song> loadSongImage(const uint8_t* image, int32_t size) {
  if (!findMidiHeader(image, size)) {
    appendLog(kNoMidiHeaderLine);
    return nullptr;
  }
  auto song = std::make_unique<Song>();
  parseSong(*song, image, size);
  return song;
}

bool parseSong(Song& song, const uint8_t* image, int32_t size) {
  const size_t length = size > 0 ? static_cast<size_t>(size) : 0;
  const Container container = findContainer(image, length);
  const size_t header =
      findTag(image, container.end, container.start, container.end, "MThd");
  if (header == container.end) {
    appendLog(kNoMidiHeaderLine);
    return false;
  }

  DamageReport report;
  song.trackCount = 0;
  if (!container.wrapped) {
    readMidiData(image, 0, length, header, song, report);
  } else {
    // "RIFF", its size, "RMID" and the chunks before "data", the data
    // chunk's size, the MIDI data, a pad byte, the chunks after it (INFO
    // and others), and whatever follows the RIFF.
    keepBytes(song, image, 0, 4);
    const size_t riffSize = addPiece(song, PieceKind::kSize);
    keepBytes(song, image, 8, container.dataTag + 4);
    const size_t dataSize = addPiece(song, PieceKind::kSize);
    readMidiData(image, container.start, container.end, header, song, report);
    song.pieces[dataSize].index = static_cast<uint32_t>(song.pieces.size());
    const size_t pad = addPiece(song, PieceKind::kPad, static_cast<uint32_t>(dataSize));
    song.pieces[pad].padWhenOdd = !container.oddWithoutPad;
    if (container.hasPad) song.pieces[pad].bytes.push_back(image[container.end]);
    keepBytes(song, image, container.end + container.hasPad, container.riffEnd);
    song.pieces[riffSize].index = static_cast<uint32_t>(song.pieces.size());
    keepBytes(song, image, container.riffEnd, length);
  }

  song.bytesRead = length;
  song.eventsRead = song.events.made;
  appendLogNumber(L"PPQN=%d", song.division);
  appendLogNumber(L"Loaded %d tracks", song.trackCount);
  if (container.wrapped) appendLog(L"RIFF MIDI file: the wrapper around the MIDI data is kept");
  for (const std::wstring& line : report.lines) appendLog(line.c_str());
  if (!song.extraTracks.empty()) {
    appendLogNumber(L"File has %d tracks: only the first 16 shown, the rest kept unchanged",
                    song.trackCount + static_cast<int>(song.extraTracks.size()));
  }
  return true;
}
