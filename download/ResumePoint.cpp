#include "download/ResumePoint.h"

#include "platform/OutputFile.h"

ResumeCheck CheckResumePoint(const std::wstring& strPath, std::int64_t& nOffset) {
  ResumeCheck check;
  check.nHeld = nOffset;
  // From the start, whatever is on disk is replaced anyway.
  if (nOffset <= 0) return check;
  std::uint64_t nSize = 0;
  if (!platform::GetFileSize(strPath, nSize)) {
    check.fix = ResumeFix::kFileGone;
    nOffset = 0;
    return check;
  }
  check.nOnDisk = static_cast<std::int64_t>(nSize);
  if (nSize < static_cast<std::uint64_t>(nOffset)) {
    check.fix = ResumeFix::kFileShorter;
    nOffset = check.nOnDisk;
  } else if (nSize > static_cast<std::uint64_t>(nOffset)) {
    // What lies past the count was not written by this download.
    check.fix = ResumeFix::kFileLonger;
    nOffset = 0;
  }
  return check;
}

std::wstring ResumeFixText(const ResumeCheck& check) {
  const std::wstring strSizes =
      L"(" + std::to_wstring(check.nOnDisk) + L" bytes on disk, " + std::to_wstring(check.nHeld) + L" held)";
  switch (check.fix) {
    case ResumeFix::kFileGone: return L"partial file gone, started over.";
    case ResumeFix::kFileShorter: return L"partial file shorter " + strSizes + L", resumed from its end.";
    case ResumeFix::kFileLonger: return L"partial file longer " + strSizes + L", started over.";
    case ResumeFix::kNone: break;
  }
  return std::wstring();
}
