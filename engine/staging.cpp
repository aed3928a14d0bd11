#include "engine/staging.h"

#include <vector>

#include "core/names.h"
#include "core/crc32.h"
#include "engine/delta_decoder.h"
#include "engine/stream_reader.h"

namespace ztx {
namespace {

constexpr std::uint32_t kPiece = 64 * 1024;

std::string StagedPath(Session& s, int group) {
  return JoinPath(s.staging_folders[group], s.record.file_name);
}

// A new file for the output of a chain step, under one of two names that
// alternate, so that a step never writes the file it reads.
FileHandle CreateChainFile(Session& s, const std::string& staging_folder, std::string* path) {
  *path = JoinPath(staging_folder, s.chain_file_toggle ? "ZTXTMP1.TMP" : "ZTXTMP2.TMP");
  s.chain_file_toggle = !s.chain_file_toggle;
  s.files.DeleteFileForce(*path);  // a leftover of an interrupted run
  s.files.MakeParentFolders(*path);
  return s.files.CreateNewFile(*path);
}

// A staged file is flushed before it is closed (a backend may only start the
// writing; the driver waits for it before the first move): after the commit
// moves it into place, a power cut must not leave a short or zero-filled
// program file.
bool FlushAndClose(FileLayer& files, ScopedFile& file) {
  const bool flushed = files.Flush(file.get());
  file.Reset();
  return flushed;
}

// One step of the chain: version v of the file into `output`.
MessageId RunStep(Session& s, int v, FileHandle input, FileHandle output, std::uint32_t output_size,
                  DeltaResult* result) {
  const VersionEntry& entry = s.record.versions[v];
  std::uint32_t offset = entry.streams_offset;
  std::vector<FileRangeReader> readers;
  readers.reserve(kStreamCount);
  DeltaFiles io{input, output, {}};
  for (int i = 0; i < kStreamCount; ++i) {
    const std::uint32_t length = entry.version.stream_lengths[i];
    readers.emplace_back(s.files, s.script.handle(), offset, length);
    io.streams[i] = &readers.back();
    offset += length;
  }
  *result = ApplyDelta(s.files, io, entry.version, output_size, s.ui);
  return result->result;
}

MessageId RunChain(Session& s, int group, int start, ScopedFile first_input) {
  const RecordState& r = s.record;
  ScopedFile input = std::move(first_input);
  std::string input_chain_file;  // the chain file that `input` reads, if any
  for (int v = start; v < r.file.version_count; ++v) {
    const bool last = v + 1 == r.file.version_count;
    if (!input) return msg::kBadStructure;

    std::string output_path;
    ScopedFile output;
    if (last) {
      output_path = StagedPath(s, group);
      s.files.MakeParentFolders(output_path);
      output = ScopedFile(s.files, s.files.CreateNewFile(output_path));
    } else {
      output = ScopedFile(s.files, CreateChainFile(s, s.staging_folders[group], &output_path));
    }
    MessageId result = msg::kDiskFull;
    if (output) {
      const std::uint32_t output_size = last ? r.file.new_size : r.versions[v + 1].version.size;
      DeltaResult delta;
      result = RunStep(s, v, input.get(), output.get(), output_size, &delta);
      if (result == msg::kOk && last) {
        // The new file's CRC leaves out its exclusion range, as NewCrc does.
        const std::uint32_t crc =
            r.file.new_exclude_length == 0
                ? delta.output_crc
                : FileCrc(s.files, output.get(), r.file.new_exclude_offset, r.file.new_exclude_length);
        if (crc != r.file.new_crc || delta.output_length != r.file.new_size) result = msg::kCrcMismatch;
        if (result == msg::kOk && !FlushAndClose(s.files, output)) result = msg::kDiskFull;
      }
    }
    input.Reset();
    output.Reset();
    if (!input_chain_file.empty()) s.files.DeleteFileForce(input_chain_file);
    if (result != msg::kOk) return result;
    if (!last) {
      input = ScopedFile(s.files, s.files.OpenForRead(output_path));
      input_chain_file = output_path;
    }
  }
  return msg::kOk;
}

MessageId StageFileRecord(Session& s, int group) {
  const RecordState& r = s.record;
  const FileRecordFields& f = r.file;
  LogMessage(msg::kWorkingOnFile, s.names, s.ui);
  const std::string& target = s.names.current_target_folder;
  if (MatchFile(s.files, JoinPath(target, r.file_name), f.new_size, f.new_crc,
                f.new_exclude_offset, f.new_exclude_length) == FileMatch::kMatches) {
    LogMessage(msg::kAlreadyUpdated, s.names, s.ui);
    return msg::kOk;
  }
  // The first version in record order that is on disk, as the file itself or
  // as the copy in the backup folder. The backup copy counts also when the file
  // itself is missing: an apply that stopped between moving the old file aside
  // and moving the new one in leaves exactly that, and a new run must be able
  // to finish the job from there.
  for (int v = 0; v < f.version_count; ++v) {
    const VersionEntry& e = r.versions[v];
    std::string path = JoinPath(target, e.source_name);
    FileMatch match = MatchFile(s.files, path, e.version.size, e.version.crc, e.exclude_offset,
                                e.exclude_length);
    if (match != FileMatch::kMatches) {
      path = JoinPath(JoinPath(target, s.backup_folder), e.source_name);
      match = MatchFile(s.files, path, e.version.size, e.version.crc, e.exclude_offset,
                        e.exclude_length);
    }
    if (match != FileMatch::kMatches) continue;
    const MessageId result = RunChain(s, group, v, ScopedFile(s.files, s.files.OpenForRead(path)));
    if (result == msg::kOk) LogMessage(msg::kDone, s.names, s.ui);
    return result;
  }
  LogMessage(msg::kNoMatchingSource, s.names, s.ui);
  if (!f.optional()) return msg::kRequiredFileError;
  if (!f.quiet()) LogMessage(msg::kOptionalFileWarning, s.names, s.ui);
  return msg::kOk;
}

MessageId StageStoredFile(Session& s, int group) {
  const std::string path = StagedPath(s, group);
  s.files.MakeParentFolders(path);
  ScopedFile staged(s.files, s.files.CreateNewFile(path));
  if (!staged) return msg::kDiskFull;
  if (!ExtractScriptBytes(s, s.record.data_offset, s.record.data_size, staged.get()) ||
      !FlushAndClose(s.files, staged)) {
    return msg::kDiskFull;
  }
  LogMessage(msg::kDone, s.names, s.ui);
  return msg::kOk;
}

}  // namespace

FileMatch MatchFile(FileLayer& files, const std::string& path, std::uint32_t size,
                    std::uint32_t crc, std::uint32_t exclude_offset, std::uint32_t exclude_length) {
  ScopedFile file(files, files.OpenForRead(path));
  if (!file) return FileMatch::kAbsent;
  // A file of 2 GiB or more is no version of anything: sizes in a patch are
  // signed 32-bit, and an unknown size must not pass for an expected one.
  const std::uint32_t actual = files.FileSize(file.get());
  if (actual != size || actual > 0x7FFFFFFF) return FileMatch::kDiffers;
  return FileCrc(files, file.get(), exclude_offset, exclude_length) == crc ? FileMatch::kMatches
                                                                         : FileMatch::kDiffers;
}

bool ExtractScriptBytes(Session& s, std::uint32_t offset, std::uint32_t count,
                        FileHandle destination) {
  FileRangeReader reader(s.files, s.script.handle(), offset, count);
  std::vector<std::uint8_t> buffer(std::min(kPiece, std::max<std::uint32_t>(count, 1)));
  while (count > 0) {
    const std::uint32_t n = std::min<std::uint32_t>(count, static_cast<std::uint32_t>(buffer.size()));
    if (!reader.Read(buffer.data(), n) || !s.files.WriteBytes(destination, buffer.data(), n)) {
      return false;
    }
    count -= n;
  }
  return true;
}

MessageId StageRecord(Session& s, int group, RecordKind kind) {
  s.ui.PumpMessages();
  switch (kind) {
    case RecordKind::kFile:
      return StageFileRecord(s, group);
    case RecordKind::kStoredFile:
      LogMessage(msg::kWorkingOnFile, s.names, s.ui);
      return StageStoredFile(s, group);
    default:
      return msg::kOk;
  }
}

}  // namespace ztx
