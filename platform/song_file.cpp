#include "platform/song_file.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "song/log.h"
#include "song/reader.h"
#include "song/song.h"
#include "song/writer.h"

namespace {

ReadResult loadLogged(const std::wstring& shown, const NativeString* path, ReadSharing sharing,
                      Song*& song, std::vector<uint8_t>* bytesRead) {
  appendLog(shown.c_str());
  std::vector<uint8_t> bytes;
  const ReadResult read =
      path == nullptr ? readStandardInput(bytes) : readWholeFile(*path, bytes, sharing);
  if (read.outcome != ReadOutcome::kRead) {
    appendLog(read.outcome == ReadOutcome::kOpenError ? L"File open error!" : L"File read error!");
    return read;
  }
  appendLogNumber(L"Read %d bytes", static_cast<int>(bytes.size()));
  // A file without a MIDI header keeps the current song; otherwise from here
  // on the old song is gone: a new Song starts with track 1 selected and
  // every amount 0.
  std::unique_ptr<Song> loaded = loadSongImage(bytes.data(), static_cast<int32_t>(bytes.size()));
  if (loaded == nullptr) return {ReadOutcome::kNotMidi, L"no MIDI header found (not a MIDI file?)"};
  delete song;
  song = loaded.release();
  if (bytesRead != nullptr) *bytesRead = std::move(bytes);
  return read;
}

SaveResult saveLogged(const Song& song, const NativeString* path) {
  // The image is built before any file is touched.
  uint8_t* image = nullptr;
  const int32_t length = serializeSong(song, image);
  SaveResult result;
  if (length < 0) {
    result.outcome = SaveOutcome::kWriteError;
    result.reason = L"the song is too large for a MIDI file";
  } else if (path == nullptr) {
    result = writeStandardOutput(image, static_cast<size_t>(length));
  } else {
    result = saveFileReplacing(*path, image, static_cast<size_t>(length));
  }
  releaseImage(image);
  appendLog(result.outcome == SaveOutcome::kSaved         ? L"File saved"
            : result.outcome == SaveOutcome::kCreateError ? L"File create error!"
                                                          : L"File save error!");
  appendLogNumber(L"Saved %d bytes", static_cast<int>(result.bytesWritten));
  return result;
}

}  // namespace

ReadResult loadSongAt(const NativeString& path, ReadSharing sharing, Song*& song,
                      std::vector<uint8_t>* bytesRead) {
  return loadLogged(toWide(path), &path, sharing, song, bytesRead);
}

ReadResult loadSongFromStandardInput(Song*& song) {
  return loadLogged(L"-", nullptr, ReadSharing::kShared, song, nullptr);
}

SaveResult saveSongAt(const Song& song, const NativeString& path) {
  return saveLogged(song, &path);
}

SaveResult saveSongToStandardOutput(const Song& song) { return saveLogged(song, nullptr); }
