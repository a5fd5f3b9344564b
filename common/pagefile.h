// Page files: the TWL page blocks, job headers and user command texts that the rendering DLL writes
// and the language monitor delivers, one file each in the page folder, named
// "page_%04d_jobid_%03d_%d.dat" (page number, job id, sequence; page 0 holds job-level data). The
// names are built and read here only: by the renderer, the monitor's queue, the viewer and lbl.
//
// The renderer writes them as the printing user (a RAW job renders in the application, an EMF job under
// impersonation), so the page folder lets every user add files and gives each the files it added only
// (PreparePageFolder, common/service_folder.h); it lies in the monitor's own folder, which only the
// service and the administrators may change.
#pragma once

#include <string>

#include "common/platform.h"
#include "common/wstr.h"

#define LBL_LOG_FOLDER "c:\\prtmonlog"          // the monitor's log files
#define LBL_PAGE_FOLDER "c:\\prtmonlog\\pages"  // the page files

// "c:\prtmonlog\pages\page_0002_jobid_007_0.dat": the widths are the least; larger numbers print whole.
std::string PageFileName(int page, DWORD jobId, int sequence);
// The name alone, "page_0002_jobid_007_0.dat".
std::string PageFileLeaf(int page, DWORD jobId, int sequence);

// Reads a name in the folder exactly as the renderer writes it: "page_", digits, "_jobid_", digits,
// "_", digits, ".dat" and nothing more, each number within 31 bits. False for anything else; the
// outputs (each optional) are set only on success.
bool ParsePageFileLeaf(const std::string& name, int* page, int* jobId, int* sequence);
bool ParsePageFileLeaf(const WCHAR* name, int* page, int* jobId, int* sequence);
inline bool IsPageFileName(const WCHAR* name) { return ParsePageFileLeaf(name, nullptr, nullptr, nullptr); }

// The monitor's reading of a queued path: what follows its first '_' as "_%d_jobid_%d" (blanks and a
// sign as scanf takes them, whole numbers, not the padded widths). A field that does not parse, or
// does not fit 32 bits, is 0, and so is every field after it.
void ParsePageFileName(const WCHAR* path, DWORD* pageNumber, DWORD* jobId);

// The folder search for the files of a job, "c:\prtmonlog\pages\*jobid_007*.dat". It also finds job 70's
// files: PageFileNamesJob tells them apart.
WString PageFileSearchPattern(DWORD jobId);
// The same into a buffer (MAX_PATH is always enough), allocating nothing; false when it does not fit.
bool PageFileSearchPatternTo(DWORD jobId, WCHAR* out, size_t cap);
// "c:\prtmonlog\pages\<leaf>" into a buffer, allocating nothing; false (a cut path) when it does not fit.
bool PageFilePathTo(const WCHAR* leaf, WCHAR* out, size_t cap);
// True when "jobid_%03d" of `jobId` stands in the name with no digit after it.
bool PageFileNamesJob(const WCHAR* name, DWORD jobId);
