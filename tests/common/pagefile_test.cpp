#include "common/pagefile.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Parsed {
  bool ok;
  int page, job, sequence;
  bool operator==(const Parsed&) const = default;
};

Parsed Narrow(const std::string& name) {
  Parsed p{false, -1, -1, -1};
  p.ok = ParsePageFileLeaf(name, &p.page, &p.job, &p.sequence);
  return p;
}

Parsed Wide(const std::string& name) {
  Parsed p{false, -1, -1, -1};
  const WString w(name.begin(), name.end());
  p.ok = ParsePageFileLeaf(w.c_str(), &p.page, &p.job, &p.sequence);
  return p;
}

TEST(PageFile, NamesReadBackAsWritten) {
  EXPECT_EQ(PageFileLeaf(2, 7, 0), "page_0002_jobid_007_0.dat");
  EXPECT_EQ(PageFileName(12345, 1234, 10), "c:\\prtmonlog\\pages\\page_12345_jobid_1234_10.dat");
  for (int page : {0, 2, 9999, 10000, 65535})
    for (DWORD job : {0u, 7u, 999u, 1000u, 2147483647u}) {
      const std::string leaf = PageFileLeaf(page, job, 3);
      EXPECT_EQ(Narrow(leaf), (Parsed{true, page, int(job), 3})) << leaf;
      EXPECT_EQ(Wide(leaf), Narrow(leaf)) << leaf;
    }
}

// The monitor (deleting leftovers) and the viewer (reading a folder) take the same names: digits only,
// nothing around them, numbers within 31 bits.
TEST(PageFile, TheRendererShapeOnly) {
  for (const char* name : {"page_+1_jobid_5_0.dat", "page_ 1_jobid_5_0.dat", "page_-1_jobid_5_0.dat",
                           "page_1_jobid_5_0.dat.bak", "Page_1_jobid_5_0.dat", "page_1_jobid_5.dat",
                           "page_1_jobid_5_x.dat", "page__jobid_5_0.dat", "page_2147483648_jobid_5_0.dat",
                           "page_1_jobid_99999999999_0.dat", ""}) {
    EXPECT_FALSE(Narrow(name).ok) << name;
    EXPECT_FALSE(Wide(name).ok) << name;
  }
  EXPECT_FALSE(Narrow(std::string("page_1_jobid_5_0.dat\0x", 22)).ok) << "a NUL inside is not the folder's name";
  EXPECT_TRUE(IsPageFileName(TEXT("page_2147483647_jobid_0_0.dat")));
}

TEST(PageFile, TheSearchOfAJobSkipsLongerIds) {
  EXPECT_EQ(WideToUtf8(PageFileSearchPattern(7).c_str()), "c:\\prtmonlog\\pages\\*jobid_007*.dat");
  EXPECT_EQ(WideToUtf8(PageFileSearchPattern(0).c_str()), "c:\\prtmonlog\\pages\\*jobid_000*.dat");
  EXPECT_EQ(WideToUtf8(PageFileSearchPattern(123456).c_str()), "c:\\prtmonlog\\pages\\*jobid_123456*.dat");
  // As the renderer prints a job id: a signed number.
  EXPECT_EQ(WideToUtf8(PageFileSearchPattern(0xFFFFFFFF).c_str()), "c:\\prtmonlog\\pages\\*jobid_-01*.dat");
  WCHAR path[MAX_PATH];
  ASSERT_TRUE(PageFilePathTo(TEXT("page_0002_jobid_007_0.dat"), path, MAX_PATH));
  EXPECT_EQ(WideToUtf8(path), "c:\\prtmonlog\\pages\\page_0002_jobid_007_0.dat");
  EXPECT_FALSE(PageFilePathTo(TEXT("page_0002_jobid_007_0.dat"), path, 20)) << "a cut path is refused";
  WCHAR small[10];
  EXPECT_FALSE(PageFileSearchPatternTo(7, small, 10));
  EXPECT_TRUE(PageFileNamesJob(TEXT("page_0002_jobid_007_0.dat"), 7));
  EXPECT_FALSE(PageFileNamesJob(TEXT("page_0002_jobid_0070_0.dat"), 7));
  EXPECT_TRUE(PageFileNamesJob(TEXT("page_0002_jobid_1234_0.dat"), 1234));
  EXPECT_FALSE(PageFileNamesJob(TEXT("page_0002_jobid_1234_0.dat"), 123));
}

}  // namespace
