// Where a resumed download starts: at what the partial file truly holds.
// Between attempts the file may have been removed, cut or replaced (a virus
// scanner that quarantines a half-written program does it), and a range
// asked from a stale count would end in a short or wrong file taken for a
// whole one.
#pragma once

#include <cstdint>
#include <string>

enum class ResumeFix {
  kNone,         // the file holds what the count says (or nothing is held)
  kFileGone,     // no file: start over
  kFileShorter,  // continue from the file's end
  kFileLonger,   // bytes of unknown origin past the count: start over
};

struct ResumeCheck {
  ResumeFix fix = ResumeFix::kNone;
  std::int64_t nHeld = 0;    // the count before the check
  std::int64_t nOnDisk = 0;  // the file's size, when it has one
};

// Sets nOffset to where the download must start: unchanged when the file's
// size matches it, the file's size when the file is shorter, 0 when the file
// is gone or longer.
ResumeCheck CheckResumePoint(const std::wstring& strPath, std::int64_t& nOffset);

// The log text of a correction; empty when nothing was corrected.
std::wstring ResumeFixText(const ResumeCheck& check);
