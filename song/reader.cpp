#include "song/reader.h"

#include <algorithm>
#include <string>
#include <vector>

#include "song/byte_cursor.h"
#include "song/log.h"
#include "song/midi.h"
#include "song/riff.h"
#include "song/song.h"
#include "song/song_tracks.h"

namespace {

// What reading one event gave.
enum class EventResult {
  kEvent,       // a complete event, to be kept
  kEndOfTrack,  // the End of Track meta event, kept as the chain's last node
  kTruncated,   // the image ended inside the event
  kInvalid,     // reading cannot go on: a quantity past four bytes, an undefined status
};

// One event as found in the image, before anything is allocated for it: a
// failed read then leaves nothing behind. The bytes after the status byte
// (data bytes; a meta event's type, length bytes and data; a system
// exclusive message's length bytes and data) are kept as they stand, so
// that the writer gives the event back unchanged.
struct ParsedEvent {
  uint32_t deltaTime;
  uint8_t status;
  const uint8_t* after;  // the bytes after the status byte, in the image
  size_t count;
  bool noStatus;  // a data byte where no channel status runs
};

// Where the reading of a track's events stands: the cursor, and the track's
// last channel status (0x80-0xEF), 0 before the first.
struct EventStream {
  ByteCursor cursor;
  uint8_t runningStatus;
};

// Reads the event at the cursor. Every complete event is kept as it stands,
// whatever its values: a data byte of 0x80 or more, a meta event shorter or
// longer than its type usually is, a system exclusive message with status
// bytes inside. Only what makes further reading impossible ends the track.
// On kEvent and kEndOfTrack `event` is filled and the cursor stands after
// the event; otherwise the cursor's position is not meaningful.
EventResult parseEvent(EventStream& events, ParsedEvent& event) {
  ByteCursor& cursor = events.cursor;
  VarLenRead delta = readVarLen(cursor, event.deltaTime);
  if (delta == VarLenRead::kTruncated) return EventResult::kTruncated;
  // A quantity of five bytes or more is not MIDI: the track is out of step.
  if (delta == VarLenRead::kTooLong) return EventResult::kInvalid;
  const uint8_t status = event.status = readByte(cursor);
  if (!cursor.ok) return EventResult::kTruncated;
  const size_t after = cursor.pos;

  uint32_t dataBytes;
  if (status < 0x80) {
    // Running status: the byte is the first data byte of a message with the
    // track's last channel status (meta and system exclusive events in
    // between do not change which one that is), and stands in `status`.
    // With no channel status before it (0), the event is taken as two
    // bytes, the common case.
    event.noStatus = events.runningStatus == 0;
    dataBytes = static_cast<uint32_t>(channelDataBytes(events.runningStatus)) - 1;
  } else if (isChannelStatus(status)) {
    // A channel message has a fixed length; a data byte of 0x80 or more is
    // odd but does not change where the next event starts.
    events.runningStatus = status;
    dataBytes = static_cast<uint32_t>(channelDataBytes(status));
  } else if (status == kMeta || status == kSystemExclusive || status == kSystemExclusiveEscape) {
    // Meta (type, length, data) and system exclusive (length, data) events;
    // the length is a variable-length quantity.
    if (status == kMeta) readByte(cursor);
    const VarLenRead length = readVarLen(cursor, dataBytes);
    if (length == VarLenRead::kTruncated) return EventResult::kTruncated;
    if (length == VarLenRead::kTooLong) return EventResult::kInvalid;
  } else {
    const int systemBytes = systemDataBytes(status);
    if (systemBytes == -1) return EventResult::kInvalid;
    dataBytes = static_cast<uint32_t>(systemBytes);
  }
  skipBytes(cursor, dataBytes);
  if (!cursor.ok) return EventResult::kTruncated;
  event.after = cursor.data + after;
  event.count = cursor.pos - after;
  const bool endOfTrack = status == kMeta && event.after[0] == kMetaEndOfTrack;
  return endOfTrack ? EventResult::kEndOfTrack : EventResult::kEvent;
}

// Moves a parsed event into `target`: copies its bytes beyond data1 and
// data2 into an `extra` block of its own, the image being freed soon after.
void storeEvent(const ParsedEvent& parsed, MidiEvent& target) {
  target.deltaTime = parsed.deltaTime;
  target.status = parsed.status;
  target.dataLength = static_cast<int32_t>(parsed.count);
  if (parsed.count >= 1) target.data1 = parsed.after[0];
  if (parsed.count >= 2) target.data2 = parsed.after[1];
  const size_t extraBytes = std::max<size_t>(parsed.count, 2) - 2;
  if (extraBytes != 0) {
    target.extra = new uint8_t[extraBytes];
    std::copy(parsed.after + 2, parsed.after + parsed.count, target.extra);
  }
}

// The reading of one image: the MIDI data, up to `end`, of `image`; the song
// it fills; where the bytes that no piece holds yet begin.
struct Reader {
  const uint8_t* image;
  size_t end;
  Song& song;
  size_t kept;
  // The tracks the header declares: past them, a chunk tagged as a track
  // is one only when it reads as events. No limit when the header is cut
  // before its track count.
  uint32_t declaredTracks = UINT32_MAX;
  // Log lines about damage wait until the reader's own two lines are out.
  std::vector<std::wstring> damage = {};
};

ByteCursor cursorAt(const Reader& reader, size_t at) {
  return makeCursor(reader.image, reader.end, at);
}

// `format` holds a %d for each number.
template <typename... Numbers>
void reportDamage(Reader& reader, const wchar_t* format, Numbers... numbers) {
  wchar_t line[kLogLineUnits];
  formatLogLine(line, format, numbers...);
  reader.damage.emplace_back(line);
}

FilePiece& addPiece(Reader& reader, PieceKind kind) {
  FilePiece& piece = reader.song.pieces.emplace_back();
  piece.kind = kind;
  return piece;
}

// The bytes from `kept` up to `to` go into a piece as they stand (an empty
// one between chunks that follow each other).
void keepUpTo(Reader& reader, size_t to) {
  addPiece(reader, PieceKind::kBytes).bytes.assign(reader.image + reader.kept, reader.image + to);
  reader.kept = to;
}

bool tagAt(const Reader& reader, size_t at, const char* tag) {
  return startsWithTag(cursorAt(reader, at), tag);
}

// Whether `tag` begins anywhere in [from, to).
bool tagWithin(const Reader& reader, size_t from, size_t to, const char* tag) {
  for (size_t at = from; at < to; ++at) {
    if (tagAt(reader, at, tag)) return true;
  }
  return false;
}

// Where the chunk whose tag stands at `tag` ends by its declared length, or
// the data's end when it says more.
size_t chunkEnd(const Reader& reader, size_t tag) {
  ByteCursor cursor = cursorAt(reader, tag + 4);
  const uint32_t length = readBigEndian(cursor, 4);
  skipUpTo(cursor, length);
  return cursor.pos;
}

// The events of the track chunk whose tag stands at `tag`, read no further
// than `end`.
EventStream eventsOf(const Reader& reader, size_t tag, size_t end) {
  return {makeCursor(reader.image, end, tag + kChunkHeaderSize), 0};
}

// Four bytes that look like a chunk tag: a letter, then letters, digits or
// blanks ("MTrk", "CASM", "OTSc", "FNRc", "LIST", "MUnk").
bool looksLikeTag(const Reader& reader, size_t at) {
  ByteCursor cursor = cursorAt(reader, at);
  for (int i = 0; i < 4; ++i) {
    const uint8_t c = readByte(cursor);
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (!letter && (i == 0 || !((c >= '0' && c <= '9') || c == ' '))) return false;
  }
  return true;
}

// A chunk of another kind than a track starts at `at`: a tag, and no
// track's tag within the chunk's tag and length (four letters that run into
// a track's tag are the end of something else).
bool startsOtherChunk(const Reader& reader, size_t at) {
  const size_t lengthEnd = at + kChunkHeaderSize;
  return looksLikeTag(reader, at) && !tagWithin(reader, at, lengthEnd, "MTrk");
}

// A track chunk starts at `at`. A track's tag in the data's last five
// bytes, without the most of a length after it, is no chunk: it is kept
// as it stands.
bool startsTrack(const Reader& reader, size_t at) {
  return tagAt(reader, at, "MTrk") && reader.end - at > 5;
}

// Reads the track chunk whose tag stands at `tag` as the song's next track
// (the first kMaxTracks fill the slots, the rest go to extraTracks); returns
// where the next chunk should begin. The chain always ends with an End of
// Track event: the file's own, or one added where the track broke off.
size_t readTrack(Reader& reader, size_t tag) {
  Song& song = reader.song;
  keepUpTo(reader, tag);
  const int index = allTrackCount(song);
  const int trackNumber = index + 1;
  TrackSlot& slot = index < kMaxTracks ? song.tracks[index] : song.extraTracks.emplace_back();
  if (index < kMaxTracks) ++song.trackCount;
  const size_t piece = song.pieces.size();
  addPiece(reader, PieceKind::kTrack).index = static_cast<uint32_t>(index);
  // The declared chunk length is only a hint: it decides nothing about a
  // track that has its End of Track.
  ByteCursor lengthField = cursorAt(reader, tag + 4);
  const size_t declaredEnd = tag + kChunkHeaderSize + readBigEndian(lengthField, 4);

  EventStream events = eventsOf(reader, tag, reader.end);
  const ByteCursor& cursor = events.cursor;
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
  // the chunk's piece, unless the length is plainly wrong: past the data,
  // or over the next track's tag. The search for tags goes on after them.
  auto finish = [&](size_t eventsEnd) {
    const bool lengthHolds =
        declaredEnd <= reader.end && !tagWithin(reader, eventsEnd, declaredEnd, "MTrk");
    reader.kept = lengthHolds ? std::max(eventsEnd, declaredEnd) : eventsEnd;
    song.pieces[piece].bytes.assign(reader.image + eventsEnd, reader.image + reader.kept);
    return reader.kept;
  };

  while (true) {
    const size_t eventStart = cursor.pos;
    // A track that lacks its End of Track runs on past its chunk into the
    // next one. A track tag where an event should begin, at or past the
    // declared end of the chunk, is taken as that next chunk, and so is a
    // chunk of another kind right at that end: read as events, its bytes
    // would be lost to the track. (Before the declared end the same four
    // bytes can be events: a delta time of 77, running-status data 84 114,
    // and the next delta time.)
    if (eventStart >= declaredEnd &&
        (startsWithTag(cursor, "MTrk") ||
         (eventStart == declaredEnd && startsOtherChunk(reader, eventStart)))) {
      makeEndOfTrack(append());
      reportDamage(reader, L"Track %d has no End of Track: added at byte %d", trackNumber,
                   static_cast<int>(eventStart));
      return finish(eventStart);
    }
    ParsedEvent parsed{};
    EventResult result = parseEvent(events, parsed);
    // An event that runs across the declared end of the chunk, where the
    // next chunk's tag stands right at that end, shows that the track went
    // out of step before it: read on, it would swallow the next chunk.
    const bool crossesIntoNextChunk =
        eventStart < declaredEnd &&
        (result == EventResult::kTruncated || cursor.pos > declaredEnd) &&
        looksLikeTag(reader, declaredEnd);
    if (crossesIntoNextChunk) result = EventResult::kInvalid;
    if (result == EventResult::kEvent) {
      storeEvent(parsed, append());
      continue;
    }
    if (result == EventResult::kEndOfTrack) {
      storeEvent(parsed, append());
      // The search goes on after the End of Track event: an End of Track
      // that carries data (it should not) may hold a tag that is no track.
      return finish(cursor.pos);
    }
    // The track ends at its last complete event, with an End of Track of
    // its own so that what is saved is a well-formed file.
    makeEndOfTrack(append());
    if (result == EventResult::kTruncated) {
      reportDamage(reader, L"Track %d cut short at byte %d: End of Track added", trackNumber,
                   static_cast<int>(eventStart));
    } else {
      reportDamage(reader, L"Track %d damaged at byte %d: ended there", trackNumber,
                   static_cast<int>(eventStart));
    }
    return finish(eventStart);
  }
}

// Whether the chunk tagged as a track at `tag` holds events a reader can
// follow: each with a status to go by (no data byte before the first
// channel status, no undefined status), up to an End of Track within the
// chunk's declared length. The data's end cuts that length short: a chunk
// that the file ends before its End of Track shows nothing of a track.
bool readsAsEvents(const Reader& reader, size_t tag) {
  EventStream events = eventsOf(reader, tag, chunkEnd(reader, tag));
  while (true) {
    ParsedEvent event{};
    const EventResult result = parseEvent(events, event);
    if (result == EventResult::kEndOfTrack) return true;
    if (result != EventResult::kEvent || event.noStatus) return false;
  }
}

// The header's track count, bytes 10 and 11.
constexpr size_t kTrackCountAt = 10;

// A track's tag at `tag` ends the header that starts at `header`: one inside
// the header's fixed fields shows a header cut short. Not one that takes in
// the track count, though: the writer puts the number of tracks there, and
// a number that spelled part of a tag would end the header anew each time
// the file is read.
bool endsHeader(size_t header, size_t tag) {
  return tag + 4 <= header + kTrackCountAt || tag >= header + kTrackCountAt + 2;
}

// Where the header that starts at `header` ends: where its declared length
// says (6 when it says less), but at the data's end, and before a track's
// tag that ends it.
size_t findHeaderEnd(const Reader& reader, size_t header) {
  const size_t fixedEnd = cursorAt(reader, header + kFileHeaderSize).pos;
  const size_t declaredEnd = std::max(chunkEnd(reader, header), fixedEnd);
  for (size_t at = header; at < declaredEnd; ++at) {
    if (tagAt(reader, at, "MTrk") && endsHeader(header, at)) return at;
  }
  return declaredEnd;
}

// The header chunk at `header`, as a piece and into the song's fields;
// returns where it ends.
size_t readHeader(Reader& reader, size_t header) {
  keepUpTo(reader, header);
  const size_t headerEnd = findHeaderEnd(reader, header);
  addPiece(reader, PieceKind::kHeader)
      .bytes.assign(reader.image + header, reader.image + headerEnd);
  reader.kept = headerEnd;

  // Format, track count and division, two bytes each. Of the format only
  // the low byte is kept. Tracks are counted as they are found, and the
  // writer writes their number; the count read only marks where a chunk
  // tagged as a track must read as events to be one. It is read from the
  // header's own bytes: a header cut before it marks nothing.
  ByteCursor fields = cursorAt(reader, header + kChunkHeaderSize);
  const auto format = static_cast<uint8_t>(readBigEndian(fields, 2));
  ByteCursor count = makeCursor(reader.image, headerEnd, header + kTrackCountAt);
  const uint32_t tracks = readBigEndian(count, 2);
  if (count.ok) reader.declaredTracks = tracks;
  readBigEndian(fields, 2);
  const auto division = static_cast<int32_t>(readBigEndian(fields, 2));
  if (!fields.ok) {
    reportDamage(reader, L"File too short for a MIDI header: %d bytes",
                 static_cast<int>(reader.end - header));
  } else {
    reader.song.formatByte = format;
    reader.song.division = division;
  }
  return headerEnd;
}

// The MIDI data from the header on: the header, then every track chunk
// found by its tag, and what lies between them kept as it stands.
//
// The chunk lengths are not trusted. Tracks after the 16th are read the
// same way and kept as they are. A chunk of another kind that stands where
// a chunk should begin is passed over whole, up to where its length says
// (at most the end of the data): a style's "OTSc" chunk holds "MTrk" chunks
// of its own, which belong to it and not to the song. Whatever such a chunk
// holds stays as it is, so a saved file reads back the same way.
//
// Past the tracks the header declares, some sequencers write data of their
// own in a chunk tagged "MTrk" that holds no events a reader can follow.
// Such a chunk, and all that follows it, is kept as it stands: no track is
// read after it, since the count the writer puts in the header would then
// take it in, and it would be read as a damaged track next time.
void readMidiData(Reader& reader, size_t header) {
  size_t at = readHeader(reader, header);  // where the next chunk should begin
  while (true) {
    while (startsOtherChunk(reader, at)) at = chunkEnd(reader, at);
    while (at < reader.end && !startsTrack(reader, at)) ++at;
    if (at == reader.end) break;
    const bool pastDeclared =
        static_cast<uint32_t>(allTrackCount(reader.song)) >= reader.declaredTracks;
    if (pastDeclared && !readsAsEvents(reader, at)) break;
    at = readTrack(reader, at);
  }
  keepUpTo(reader, reader.end);
}

}  // namespace

std::unique_ptr<Song> loadSongImage(const uint8_t* image, int32_t size) {
  const size_t length = size > 0 ? static_cast<size_t>(size) : 0;
  const Container container = findContainer(image, length);
  auto song = std::make_unique<Song>();
  Reader reader{image, container.end, *song, container.start};
  size_t header = container.start;
  while (header < container.end && !tagAt(reader, header, "MThd")) ++header;
  if (header == container.end) {
    appendLog(L"No MIDI header in the file");
    return nullptr;
  }
  readMidiData(reader, header);
  if (container.wrapped) wrapPieces(*song, image, length, container);

  song->bytesRead = length;
  song->eventsRead = song->events.made;
  appendLogNumber(L"PPQN=%d", song->division);
  appendLogNumber(L"Loaded %d tracks", song->trackCount);
  if (container.wrapped) appendLog(L"RIFF MIDI file: the wrapper around the MIDI data is kept");
  for (const std::wstring& line : reader.damage) appendLog(line.c_str());
  if (!song->extraTracks.empty()) {
    appendLogNumber(L"File has %d tracks: only the first 16 shown, the rest kept unchanged",
                    allTrackCount(*song));
  }
  return song;
}
