// lbl serve as a user runs it: printers from the store, jobs over IPP on loopback to files and to
// simulated printers on loopback ports, and what reaches them compared with what lbl print makes of
// the same picture and settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include <cairo-pdf.h>
#include <cairo.h>

#include "ipp/sim_printer.h"
#include "serve_fixture.h"
#include "tools/run_lbl.h"
#include "tools/viewer/png.h"
#include "tools/viewer/viewer.h"
#include "winsim/twlprinter.h"

namespace {

using ipptest::Server;

using ipptest::ReadBytes;
using ipptest::WritePicture;

// A PDF of `pages` landscape pages of w x h points: a frame and bars.
std::string WritePdf(const std::string& path, double w, double h, int pages = 1) {
  cairo_surface_t* surface = cairo_pdf_surface_create(path.c_str(), w, h);
  cairo_t* cr = cairo_create(surface);
  for (int page = 0; page < pages; ++page) {
    cairo_set_line_width(cr, 3);
    cairo_rectangle(cr, 5, 5, w - 10, h - 10);
    cairo_stroke(cr);
    for (int i = 0; i < 10; ++i) cairo_rectangle(cr, 20 + i * 14, 20, 1 + i % 4, h / 2);
    cairo_fill(cr);
    cairo_show_page(cr);
  }
  cairo_destroy(cr);
  cairo_surface_finish(surface);
  cairo_surface_destroy(surface);
  cairo_debug_reset_static_data();
  return path;
}

size_t CountLabels(const std::vector<uint8_t>& stream, std::string* fault = nullptr) {
  lblview::ViewResult r;
  lblview::ViewError e;
  if (!lblview::ViewStream(stream.data(), stream.size(), {}, {}, &r, &e)) {
    if (fault) *fault = e.Describe();
    return 0;
  }
  return r.labels.size();
}

lbltest::Ran Lbl(const std::string& args) { return lbltest::Lbl(args); }

TEST(Serve, APrintersAttributesComeFromItsModel) {
  Server s("attributes");
  s.AddPrinter("qx", "Tarnwell TW-QX", "file://" + s.Dir() + "/qx.prn");
  s.AddPrinter("p300", "Tarnwell TW-P300", "file://" + s.Dir() + "/p300.prn");
  ASSERT_TRUE(s.Start()) << s.Log();
  ipp_t* a = s.Attributes("qx");
  ASSERT_NE(a, nullptr);
  using ipptest::Values;
  EXPECT_EQ(Values(a, "printer-make-and-model"), std::vector<std::string>{"Tarnwell TW-QX"});
  EXPECT_EQ(Values(a, "printer-resolution-supported").size(), 1u);
  // 2 to 4 in/s in hundredths of a millimetre per second; 16 darkness levels.
  EXPECT_EQ(Values(a, "print-speed-supported"), std::vector<std::string>{"5080-10160"});
  EXPECT_EQ(Values(a, "printer-darkness-supported"), std::vector<std::string>{"16"});
  const auto modes = Values(a, "label-mode-supported");
  EXPECT_NE(std::find(modes.begin(), modes.end(), "cutter"), modes.end());
  EXPECT_EQ(std::find(modes.begin(), modes.end(), "peel-off"), modes.end()) << "TW-QX has no peeler";
  EXPECT_EQ(Values(a, "dithering-method-supported").size(), 9u);
  EXPECT_EQ(Values(a, "dithering-method-default"), std::vector<std::string>{"threshold"});
  const auto media = Values(a, "media-supported");
  EXPECT_NE(std::find(media.begin(), media.end(), "na_index-4x6_4x6in"), media.end());
  EXPECT_NE(std::find(media.begin(), media.end(), "roll_max_104x2286mm"), media.end());
  // The stock loaded (the model's first) with its paper type and sensing.
  ipp_t* ready = s.Attributes("qx", {"media-col-ready"});
  const auto loaded = Values(ready, "media-col-ready");
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_NE(loaded[0].find("media-size-name=na_index-4x6_4x6in"), std::string::npos) << loaded[0];
  EXPECT_NE(loaded[0].find("media-tracking=gap media-type=labels"), std::string::npos) << loaded[0];
  ippDelete(ready);
  const auto colour = Values(a, "print-color-mode-supported");
  EXPECT_EQ(colour, (std::vector<std::string>{"bi-level", "monochrome"}));
  EXPECT_EQ(Values(a, "printer-state-reasons"), std::vector<std::string>{"none"});
  ippDelete(a);

  a = s.Attributes("p300", {"print-speed-supported", "label-mode-supported", "printer-supply-description"});
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(Values(a, "print-speed-supported"), std::vector<std::string>{"1270-3810"}) << "0.5 to 1.5 in/s";
  const auto p300modes = Values(a, "label-mode-supported");
  EXPECT_NE(std::find(p300modes.begin(), p300modes.end(), "peel-off"), p300modes.end());
  EXPECT_EQ(Values(a, "printer-supply-description"), (std::vector<std::string>{"Labels", "Ribbon"}))
      << "a thermal-transfer model has a ribbon";
  ippDelete(a);
}

// The same picture through IPP and through lbl print: the same bytes, copies included (three
// labels for three copies, not nine).
TEST(Serve, PicturesPrintTheBytesLblPrintPrints) {
  Server s("identity");
  s.AddPrinter("tspl", "Tarnwell TW-QX", "file://" + s.Dir() + "/tspl.prn");
  s.AddPrinter("zpl", "Tarnwell TW-QD", "file://" + s.Dir() + "/zpl.prn");
  s.AddPrinter("esc", "Tarnwell TW-LC", "file://" + s.Dir() + "/esc.prn");
  for (const char* p : {"tspl", "zpl", "esc"}) std::ofstream(s.Dir() + "/" + p + ".prn");
  ASSERT_TRUE(s.Start()) << s.Log();
  // Pictures are fitted to the label as lbl print fits them.
  const std::string big = WritePicture(s.Dir() + "/label.png", 700, 900);
  const std::string small = WritePicture(s.Dir() + "/small.png", 300, 200, 1);
  struct Case {
    const char* printer;
    const char* driver;
    const char* language;
    std::string picture, media, paper;
    int copies;
  } cases[] = {
      {"tspl", "Tarnwell TW-QX", "tspl", big, "na_index-4x6_4x6in", "4 x 6", 3},
      {"zpl", "Tarnwell TW-QD", "zpl", big, "na_index-4x6_4x6in", "4 x 6", 2},
      {"esc", "Tarnwell TW-LC", "esc", small, "custom_50mm-x-30mm_50x30mm", "50mm x 30mm", 1},
  };
  for (const Case& c : cases) {
    const std::string out = s.Dir() + "/" + c.printer + ".prn";
    std::ofstream{out};
    const int id = s.Print(c.printer, c.picture, "image/png", [&](ipp_t* r) {
      ippAddInteger(r, IPP_TAG_JOB, IPP_TAG_INTEGER, "copies", c.copies);
      ippAddString(r, IPP_TAG_JOB, IPP_TAG_KEYWORD, "media", nullptr, c.media.c_str());
    });
    ASSERT_GT(id, 0) << c.printer << "\n" << s.Log();
    const auto job = s.WaitJob(c.printer, id);
    ASSERT_EQ(job.state, IPP_JSTATE_COMPLETED) << c.printer << ": " << job.message << "\n" << s.Log();
    const std::string ref = s.Dir() + "/" + c.printer + ".ref";
    const auto ran = Lbl("print --model \"" + std::string(c.driver) + "\" --language " + c.language + " --paper \"" +
                         c.paper + "\" --copies " + std::to_string(c.copies) + " --doc-name " +
                         std::filesystem::path(c.picture).filename().string() + " -o " + ref + " " + c.picture);
    ASSERT_EQ(ran.status, 0) << ran.err;
    const auto got = ReadBytes(out), want = ReadBytes(ref);
    EXPECT_EQ(got, want) << c.printer << ": " << got.size() << " bytes over IPP, " << want.size() << " from lbl print";
    std::string fault;
    EXPECT_EQ(CountLabels(got, &fault), size_t(c.copies)) << c.printer << " " << fault;
  }

  // A landscape PDF page on a portrait label, turned by the driver as on Windows.
  const std::string pdf = WritePdf(s.Dir() + "/ship.pdf", 288, 144);
  const std::string out = s.Dir() + "/tspl.prn";
  std::ofstream{out};
  const int id = s.Print("tspl", pdf, "application/pdf", [](ipp_t* r) {
    ippAddInteger(r, IPP_TAG_JOB, IPP_TAG_ENUM, "orientation-requested", IPP_ORIENT_LANDSCAPE);
    ippAddString(r, IPP_TAG_JOB, IPP_TAG_KEYWORD, "media", nullptr, "na_index-4x6_4x6in");
  });
  ASSERT_GT(id, 0) << s.Log();
  const auto job = s.WaitJob("tspl", id);
  ASSERT_EQ(job.state, IPP_JSTATE_COMPLETED) << job.message << "\n" << s.Log();
  const auto ran = Lbl("print --model \"Tarnwell TW-QX\" --language tspl --paper \"4 x 6\" --orientation landscape "
                       "--doc-name ship.pdf -o " + s.Dir() + "/pdf.ref " + pdf);
  ASSERT_EQ(ran.status, 0) << ran.err;
  EXPECT_EQ(ReadBytes(out), ReadBytes(s.Dir() + "/pdf.ref"));
}

TEST(Serve, ATwlPrinterGetsTheBytesLblPrintDelivers) {
  Server s("pdf_twl");
  s.AddPrinter("twl", "Tarnwell TW-JA", "file://" + s.Dir() + "/twl.prn");
  std::ofstream(s.Dir() + "/twl.prn");
  ASSERT_TRUE(s.Start()) << s.Log();
  const std::string picture = WritePicture(s.Dir() + "/twl.png", 500, 900, 2);
  const int id = s.Print("twl", picture, "image/png", [](ipp_t* r) {
    ippAddInteger(r, IPP_TAG_JOB, IPP_TAG_INTEGER, "copies", 2);
  });
  ASSERT_GT(id, 0) << s.Log();
  const auto job = s.WaitJob("twl", id);
  ASSERT_EQ(job.state, IPP_JSTATE_COMPLETED) << job.message << "\n" << s.Log();
  const std::string ref = s.Dir() + "/twl.ref";
  // What the printer receives through the language monitor, as lbl print --deliver shows it.
  const auto ran = Lbl("print --model \"Tarnwell TW-JA\" --paper \"72mm x 130mm\" --copies 2 --doc-name twl.png --deliver -o " +
                       ref + " " + picture);
  ASSERT_EQ(ran.status, 0) << ran.err;
  EXPECT_EQ(ReadBytes(s.Dir() + "/twl.prn"), ReadBytes(ref));
}

TEST(Serve, BadRequestsGetIppErrorsAndTheServerStays) {
  Server s("bad");
  s.AddPrinter("qx", "Tarnwell TW-QX", "file://" + s.Dir() + "/qx.prn");
  ASSERT_TRUE(s.Start()) << s.Log();
  const std::string picture = WritePicture(s.Dir() + "/ok.png", 406, 203);
  ipp_status_t status;
  // A format nobody reads: PAPPL 1.3 takes the job, which then ends aborted without printing.
  const int unknown = s.Print("qx", picture, "text/x-unknown", {}, &status);
  if (unknown) EXPECT_EQ(s.WaitJob("qx", unknown).state, IPP_JSTATE_ABORTED);
  else EXPECT_EQ(status, IPP_STATUS_ERROR_DOCUMENT_FORMAT_NOT_SUPPORTED);
  EXPECT_TRUE(ReadBytes(s.Dir() + "/qx.prn").empty());
  EXPECT_EQ(s.Print("nosuch", picture, "image/png", {}, &status), 0);
  EXPECT_EQ(status, IPP_STATUS_ERROR_NOT_FOUND);
  EXPECT_EQ(s.Print("qx", picture, "image/png", [](ipp_t* r) { ippAddInteger(r, IPP_TAG_JOB, IPP_TAG_INTEGER, "copies", 0); },
                    &status),
            0);
  EXPECT_GE(status, IPP_STATUS_ERROR_BAD_REQUEST) << ippErrorString(status);

  // Bytes that are no IPP message at all.
  http_t* http = httpConnect2("localhost", s.Port(), nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, 10000, nullptr);
  ASSERT_NE(http, nullptr);
  const std::string junk = "\x02\x00\xff\xff garbage that is not an IPP message";
  httpClearFields(http);
  httpSetField(http, HTTP_FIELD_CONTENT_TYPE, "application/ipp");
  httpSetLength(http, junk.size());
  ASSERT_EQ(httpPost(http, "/ipp/print/qx"), 0);
  httpWrite2(http, junk.data(), junk.size());
  http_status_t answer;
  while ((answer = httpUpdate(http)) == HTTP_STATUS_CONTINUE) {
  }
  EXPECT_EQ(answer, HTTP_STATUS_BAD_REQUEST);
  httpClose(http);

  // Still there and printing.
  const int id = s.Print("qx", picture, "image/png");
  ASSERT_GT(id, 0) << s.Log();
  EXPECT_EQ(s.WaitJob("qx", id).state, IPP_JSTATE_COMPLETED);
}

TEST(Serve, AnUnreadableDocumentFailsWithAReasonAndTheNextJobPrints) {
  Server s("unreadable");
  const std::string out = s.Dir() + "/qx.prn";
  s.AddPrinter("qx", "Tarnwell TW-QX", "file://" + out);
  std::ofstream{out};
  ASSERT_TRUE(s.Start()) << s.Log();
  const std::string broken = s.Dir() + "/broken.png";
  std::ofstream(broken, std::ios::binary) << "\x89PNG\r\n\x1a\n this is not the rest of a PNG";
  const std::string pdf = s.Dir() + "/broken.pdf";
  std::ofstream(pdf, std::ios::binary) << "%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\ntrailer << >>\n%%EOF\n";
  for (const auto& [file, format] : {std::pair<std::string, std::string>{broken, "image/png"}, {pdf, "application/pdf"}}) {
    const int id = s.Print("qx", file, format);
    ASSERT_GT(id, 0) << format;
    const auto job = s.WaitJob("qx", id);
    EXPECT_EQ(job.state, IPP_JSTATE_ABORTED) << format;
    EXPECT_TRUE(job.Has("document-format-error")) << format << ": " << testing::PrintToString(job.reasons);
    // The reason, without the server's own folders.
    EXPECT_FALSE(job.message.empty()) << format;
    EXPECT_EQ(job.message.find(s.StateDir()), std::string::npos) << job.message;
    EXPECT_EQ(job.message.find("spool"), std::string::npos) << job.message;
  }
  EXPECT_TRUE(ReadBytes(out).empty()) << "nothing of a document that cannot be read reaches the printer";
  const int id = s.Print("qx", WritePicture(s.Dir() + "/ok.png", 406, 203), "image/png");
  ASSERT_GT(id, 0);
  EXPECT_EQ(s.WaitJob("qx", id).state, IPP_JSTATE_COMPLETED);
  EXPECT_EQ(CountLabels(ReadBytes(out)), 1u);
}

// page-ranges as IPP means them: the pages of a range within the document print, a range past its
// end is cut to the last page, and only a range wholly past the end fails the job.
TEST(Serve, PageRangesPastTheLastPagePrintWhatTheDocumentHas) {
  Server s("ranges");
  const std::string out = s.Dir() + "/qx.prn";
  s.AddPrinter("qx", "Tarnwell TW-QX", "file://" + out);
  ASSERT_TRUE(s.Start()) << s.Log();
  const std::string pdf = WritePdf(s.Dir() + "/three.pdf", 288, 144, 3);
  auto ranges = [](int lower, int upper) {
    return [=](ipp_t* r) { ippAddRange(r, IPP_TAG_JOB, "page-ranges", lower, upper); };
  };
  struct Case {
    int lower, upper;
    int state;
    size_t labels;
  };
  for (const Case c : {Case{2, 5, IPP_JSTATE_COMPLETED, 2}, Case{1, 3, IPP_JSTATE_COMPLETED, 3},
                       Case{3, 3, IPP_JSTATE_COMPLETED, 1}, Case{4, 6, IPP_JSTATE_ABORTED, 0}}) {
    std::ofstream{out};
    const int id = s.Print("qx", pdf, "application/pdf", ranges(c.lower, c.upper));
    ASSERT_GT(id, 0) << s.Log();
    const auto job = s.WaitJob("qx", id);
    EXPECT_EQ(job.state, c.state) << c.lower << "-" << c.upper << ": " << job.message;
    EXPECT_EQ(CountLabels(ReadBytes(out)), c.labels) << c.lower << "-" << c.upper;
  }
}

// What a client may set is what the printer says it may set: a listed attribute is taken, and
// label-tear-offset-configured (PAPPL 1.3 refuses to set it) is not listed as settable.
TEST(Serve, TheSettableAttributesAreThoseThatCanBeSet) {
  Server s("settable");
  s.AddPrinter("qx", "Tarnwell TW-QX", "file://" + s.Dir() + "/qx.prn");
  ASSERT_TRUE(s.Start()) << s.Log();
  ipp_t* a = s.Attributes("qx", {"printer-settable-attributes-supported", "label-tear-offset-configured",
                                 "dithering-method-supported"});
  const auto settable = ipptest::Values(a, "printer-settable-attributes-supported");
  const auto methods = ipptest::Values(a, "dithering-method-supported");
  const bool tearOffsetShown = ippFindAttribute(a, "label-tear-offset-configured", IPP_TAG_INTEGER) != nullptr;
  ippDelete(a);
  auto listed = [&](const char* name) { return std::find(settable.begin(), settable.end(), name) != settable.end(); };
  ASSERT_TRUE(listed("printer-location")) << testing::PrintToString(settable);
  ASSERT_TRUE(listed("dithering-method-default")) << testing::PrintToString(settable);
  EXPECT_FALSE(listed("label-tear-offset-configured"));
  if (tearOffsetShown) {
    EXPECT_NE(s.SetAttributes("qx", [](ipp_t* r) {
      ippAddInteger(r, IPP_TAG_PRINTER, IPP_TAG_INTEGER, "label-tear-offset-configured", 100);
    }), IPP_STATUS_OK) << "settable after all: list it";
  }

  EXPECT_EQ(s.SetAttributes("qx", [](ipp_t* r) {
    ippAddString(r, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-location", nullptr, "shipping desk");
  }), IPP_STATUS_OK) << s.Log();
  EXPECT_EQ(s.SetAttributes("qx", [](ipp_t* r) {
    ippAddInteger(r, IPP_TAG_PRINTER, IPP_TAG_ENUM, "orientation-requested-default", IPP_ORIENT_LANDSCAPE);
  }), IPP_STATUS_OK) << s.Log();
  ASSERT_FALSE(methods.empty());
  EXPECT_EQ(s.SetAttributes("qx", [&](ipp_t* r) {
    ippAddString(r, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "dithering-method-default", nullptr, methods.back().c_str());
  }), IPP_STATUS_OK) << s.Log();
}

// Four clients at once, 50 jobs each, one or two copies: every label arrives once, every job ends
// completed, and the spool is empty afterwards.
TEST(Serve, TwoHundredJobsFromFourClientsAllPrint) {
  auto device = std::make_shared<winsim::UsbPrinterDevice>();
  lblipp::SimPrinter sim(device);
  std::string error;
  ASSERT_TRUE(sim.Start(&error)) << error;
  Server s("many");
  s.AddPrinter("qx", "Tarnwell TW-QX", sim.SimUri());
  ASSERT_TRUE(s.Start()) << s.Log();
  const std::string picture = WritePicture(s.Dir() + "/small.png", 406, 203);
  std::atomic<int> expected{0}, refused{0};
  std::vector<std::vector<int>> ids(4);
  std::vector<std::thread> clients;
  for (int c = 0; c < 4; ++c)
    clients.emplace_back([&, c] {
      for (int j = 0; j < 50; ++j) {
        const int copies = 1 + (j + c) % 2;
        const int id = s.Print("qx", picture, "image/png", [copies](ipp_t* r) {
          ippAddInteger(r, IPP_TAG_JOB, IPP_TAG_INTEGER, "copies", copies);
          ippAddString(r, IPP_TAG_JOB, IPP_TAG_KEYWORD, "media", nullptr, "custom_2-x-1_2x1in");
        });
        if (!id) {
          refused++;
          continue;
        }
        ids[size_t(c)].push_back(id);
        expected += copies;
      }
    });
  for (auto& t : clients) t.join();
  ASSERT_EQ(refused.load(), 0);
  for (const auto& list : ids)
    for (int id : list) {
      const auto job = s.WaitJob("qx", id, 120);
      ASSERT_EQ(job.state, IPP_JSTATE_COMPLETED) << "job " << id << ": " << job.message;
    }
  std::string fault;
  EXPECT_EQ(CountLabels(device->Received(), &fault), size_t(expected.load())) << fault;
  size_t left = 0;
  for (const auto& e : std::filesystem::directory_iterator(s.StateDir() + "/spool"))
    if (e.is_regular_file()) ++left;
  EXPECT_EQ(left, 0u) << "job files left in the spool";
}

// A printer that drops off mid-job and comes back: the job waits (printer offline, job stopped at the
// printer) and goes on with the label it did not get; every label arrives exactly once.
TEST(Serve, APrinterOfflineMidJobResumesWithoutLosingLabels) {
  auto device = std::make_shared<winsim::UsbPrinterDevice>();
  lblipp::SimPrinter sim(device);
  std::string error;
  ASSERT_TRUE(sim.Start(&error)) << error;
  Server s("offline");
  s.AddPrinter("qx", "Tarnwell TW-QX", sim.SimUri(), "tspl");
  ASSERT_TRUE(s.Start()) << s.Log();
  const std::string picture = WritePicture(s.Dir() + "/small.png", 406, 203);
  // A 2 x 1 in TSPL label is about 10 kB: the connection drops in the third label.
  sim.DropAfterBytes(25000);
  // The printer goes away in the third label; a job that never gets there fails the test, not hangs it.
  std::atomic<bool> cut{false}, giveUp{false};
  std::thread outage([&] {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!(cut = sim.Connections() > 0 && device->Received().size() >= 20000) && !giveUp &&
           std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    sim.SetOffline(true);
  });
  const int id = s.Print("qx", picture, "image/png", [](ipp_t* r) {
    ippAddInteger(r, IPP_TAG_JOB, IPP_TAG_INTEGER, "copies", 6);
    ippAddString(r, IPP_TAG_JOB, IPP_TAG_KEYWORD, "media", nullptr, "custom_2-x-1_2x1in");
  });
  giveUp = id <= 0;
  outage.join();
  ASSERT_GT(id, 0) << s.Log();
  ASSERT_TRUE(cut) << "the job never reached its third label\n" << s.Log();
  // While it is away, the printer and the job say so (the server takes a while to call it offline).
  bool seen = false;
  for (const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
       !seen && std::chrono::steady_clock::now() < until;) {
    const auto reasons = s.PrinterReasons("qx");
    const auto job = s.Job("qx", id);
    seen = std::find(reasons.begin(), reasons.end(), "offline") != reasons.end();
    seen = seen && job.Has("printer-stopped") && job.state == IPP_JSTATE_PROCESSING;
    if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(seen) << testing::PrintToString(s.PrinterReasons("qx")) << "\n" << s.Log();
  sim.SetOffline(false);
  const auto job = s.WaitJob("qx", id, 60);
  EXPECT_EQ(job.state, IPP_JSTATE_COMPLETED) << job.message << "\n" << s.Log();
  std::string fault;
  EXPECT_EQ(CountLabels(device->Received(), &fault), 6u) << fault;
  EXPECT_EQ(s.PrinterReasons("qx"), std::vector<std::string>{"none"});
}

// A raw socket cannot tell which bytes became labels: the job fails, saying how far it got.
TEST(Serve, ARawSocketPrinterThatGoesAwayFailsTheJobVisibly) {
  auto device = std::make_shared<winsim::UsbPrinterDevice>();
  lblipp::SimPrinter sim(device);
  std::string error;
  ASSERT_TRUE(sim.Start(&error)) << error;
  Server s("socket");
  s.AddPrinter("qx", "Tarnwell TW-QX", sim.SocketUri(), "tspl");
  ASSERT_TRUE(s.Start()) << s.Log();
  sim.DropAfterBytes(25000);
  const int id = s.Print("qx", WritePicture(s.Dir() + "/small.png", 406, 203), "image/png", [](ipp_t* r) {
    ippAddInteger(r, IPP_TAG_JOB, IPP_TAG_INTEGER, "copies", 40);
    ippAddString(r, IPP_TAG_JOB, IPP_TAG_KEYWORD, "media", nullptr, "custom_2-x-1_2x1in");
  });
  ASSERT_GT(id, 0);
  const auto job = s.WaitJob("qx", id, 60);
  EXPECT_EQ(job.state, IPP_JSTATE_ABORTED) << s.Log();
  EXPECT_NE(job.message.find("stopped taking data"), std::string::npos) << job.message << "\n" << s.Log();
}

// A TWL printer that runs out of paper after two labels: the status shows in printer-state-reasons,
// the job is held until paper is back, then the labels not printed come out, each once.
class PaperOutPrinter : public winsim::TwlPrinterDevice {
 public:
  std::atomic<size_t> outAfter{2};
  std::atomic<bool> out{false};
  BOOL OnWrite(const uint8_t* data, DWORD size, DWORD* written) override {
    if (out) {
      SetLastError(ERROR_NOT_READY);
      return FALSE;
    }
    const BOOL ok = TwlPrinterDevice::OnWrite(data, size, written);
    if (PrintedPages().size() >= outAfter && outAfter) {
      outAfter = 0;
      out = true;
      SetStatusByte(0x04);
    }
    return ok;
  }
  void Refill() {
    SetStatusByte(0);
    out = false;
  }
};

// A TW-JA that runs out of paper after two labels, on a simulated printer with its control channel.
struct PaperOutSetup {
  std::shared_ptr<PaperOutPrinter> printer = std::make_shared<PaperOutPrinter>();
  lblipp::SimPrinter sim{printer};
  PaperOutSetup() { printer->deviceId = "MFG:Tarnwell;CMD:TWL;MDL:TW-JA;CLS:PRINTER;"; }
};

// Copies of a picture on 2 x 1 inch labels; the job id (0 when refused).
int PrintLabels(Server& s, const std::string& printer, const std::string& picture, int copies) {
  return s.Print(printer, picture, "image/png", [copies](ipp_t* r) {
    ippAddInteger(r, IPP_TAG_JOB, IPP_TAG_INTEGER, "copies", copies);
    ippAddString(r, IPP_TAG_JOB, IPP_TAG_KEYWORD, "media", nullptr, "custom_2-x-1_2x1in");
  });
}

// Waits up to 15 s for the job to be held by its printer (printer-stopped).
bool WaitHeld(Server& s, const std::string& printer, int id) {
  for (int i = 0; i < 300; ++i) {
    if (s.Job(printer, id).Has("printer-stopped")) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

TEST(Serve, ATwlPrinterOutOfPaperHoldsTheJobAndFinishesIt) {
  PaperOutSetup setup;
  auto& printer = setup.printer;
  std::string error;
  ASSERT_TRUE(setup.sim.Start(&error)) << error;
  Server s("paperout");
  s.AddPrinter("ja", "Tarnwell TW-JA", setup.sim.SimUri());
  ASSERT_TRUE(s.Start()) << s.Log();
  const int id = PrintLabels(s, "ja", WritePicture(s.Dir() + "/ja.png", 406, 203), 5);
  ASSERT_GT(id, 0) << s.Log();
  bool held = false;
  for (int i = 0; i < 300 && !held; ++i) {
    const auto reasons = s.PrinterReasons("ja");
    const auto job = s.Job("ja", id);
    held = std::find(reasons.begin(), reasons.end(), "media-empty") != reasons.end() &&
           job.state == IPP_JSTATE_PROCESSING && job.Has("printer-stopped");
    if (!held) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(held) << testing::PrintToString(s.PrinterReasons("ja")) << "\n" << s.Log();
  EXPECT_EQ(printer->PrintedPages().size(), 2u);
  printer->Refill();
  const auto job = s.WaitJob("ja", id, 60);
  EXPECT_EQ(job.state, IPP_JSTATE_COMPLETED) << job.message << "\n" << s.Log();
  const auto pages = printer->PrintedPages();
  ASSERT_EQ(pages.size(), 5u) << "five labels, none twice, none lost";
  std::set<uint16_t> numbers;
  for (const auto& p : pages) numbers.insert(p.number);
  EXPECT_EQ(numbers.size(), 5u);
  EXPECT_EQ(s.PrinterReasons("ja"), std::vector<std::string>{"none"});
}

TEST(Serve, APrinterAddedWhileItRunsIsServed) {
  Server s("added");
  ASSERT_TRUE(s.Start()) << s.Log();
  const std::string out = s.Dir() + "/late.prn";
  std::ofstream{out};
  const auto ran = lbltest::RunLbl("LBL_STATE_DIR=" + s.StateDir() + " " LBL_EXE,
                                   "printer add late --model \"Tarnwell TW-QD\" --device file://" + out,
                                   s.Dir() + "/add.err");
  ASSERT_EQ(ran.status, 0) << ran.err;
  ASSERT_TRUE(s.WaitPrinter("late", 10)) << s.Log();
  const int id = s.Print("late", WritePicture(s.Dir() + "/p.png", 812, 1218), "image/png");
  ASSERT_GT(id, 0);
  EXPECT_EQ(s.WaitJob("late", id).state, IPP_JSTATE_COMPLETED);
  EXPECT_EQ(lblview::DetectLanguage(ReadBytes(out).data(), ReadBytes(out).size()), lblview::Language::Zpl);
  ASSERT_TRUE(s.Listed("late")) << s.Log();
  const auto removed = lbltest::RunLbl("LBL_STATE_DIR=" + s.StateDir() + " " LBL_EXE, "printer remove late",
                                       s.Dir() + "/rm.err");
  ASSERT_EQ(removed.status, 0) << removed.err;
  bool gone = false;
  for (int i = 0; i < 300 && !gone; ++i) {  // the server looks at the state every second
    gone = s.Unlisted("late");
    if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(gone);
}

// A server with one printer on a file, started, and a client connection of its own to it.
http_t* StartWithClient(Server& s, const std::string& printer) {
  const std::string out = s.Dir() + "/" + printer + ".prn";
  std::ofstream{out};
  s.AddPrinter(printer, "Tarnwell TW-QD", "file://" + out);
  if (!s.Start()) return nullptr;
  return httpConnect2("localhost", s.Port(), nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, 10000, nullptr);
}

// The printer's printer-make-and-model, asked on `http` (else on a connection of its own).
std::string MakeAndModel(Server& s, const std::string& printer, http_t* http = nullptr) {
  ipp_t* response = nullptr;
  if (http) {
    ipp_t* r = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, s.Uri(printer).c_str());
    ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "printer-make-and-model");
    response = cupsDoRequest(http, r, ("/ipp/print/" + printer).c_str());
  } else {
    response = s.Attributes(printer, {"printer-make-and-model"});
  }
  const auto values = ipptest::Values(response, "printer-make-and-model");
  ippDelete(response);
  return values.empty() ? std::string() : values[0];
}

// Waits up to 5 s for the server's log to say the printer was removed from the machine.
bool WaitRemoved(Server& s, const std::string& printer) {
  for (int i = 0; i < 100; ++i) {
    if (s.Log().find("Printer '" + printer + "' was removed.") != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// A request goes on using the printer it found until it is answered, and PAPPL frees a deleted
// printer at once: a client still sending its request when the printer is removed from the machine
// is answered by it, and the printer goes afterwards.
TEST(Serve, AClientInTheMiddleOfARequestIsAnsweredBeforeARemovedPrinterGoes) {
  Server s("midrequest");
  http_t* http = StartWithClient(s, "held");
  ASSERT_NE(http, nullptr) << s.Log();
  ASSERT_TRUE(s.Listed("held")) << s.Log();
  // Get-Printer-Attributes with data after it, sent a byte at a time: the server has found the
  // printer and reads on until the request ends.
  ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, s.Uri("held").c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, "tester");
  ASSERT_EQ(cupsSendRequest(http, request, "/ipp/print/held", CUPS_LENGTH_VARIABLE), HTTP_STATUS_CONTINUE);
  std::atomic<bool> finish{false};
  std::thread sender([&] {
    while (!finish) {
      cupsWriteRequestData(http, "x", 1);
      httpFlushWrite(http);
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
  });
  const auto removed = s.RunLbl("printer remove held");
  const bool retired = WaitRemoved(s, "held");
  // Idle for two rounds of a second, it would be deleted by now.
  if (retired) std::this_thread::sleep_for(std::chrono::milliseconds(3500));
  const bool stayed = s.HasPrinter("held");
  finish = true;
  sender.join();
  ipp_t* response = cupsGetResponse(http, "/ipp/print/held");
  ippDelete(request);
  ASSERT_EQ(removed.status, 0) << removed.err;
  ASSERT_TRUE(retired) << s.Log();
  EXPECT_TRUE(stayed) << s.Log();
  ASSERT_NE(response, nullptr) << cupsLastErrorString();
  EXPECT_EQ(ippGetStatusCode(response), IPP_STATUS_OK);
  EXPECT_EQ(ipptest::Values(response, "printer-name"), std::vector<std::string>{"held"});
  ippDelete(response);
  httpClose(http);
  bool gone = false;
  for (int i = 0; i < 100 && !gone; ++i) {
    gone = s.Unlisted("held");
    if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(gone) << s.Log();
}

// A client that keeps its connection open between requests (a browser on the web interface, a
// monitoring client) holds nothing up: the printer set up anew with another model is served as
// that within a few seconds, and the client's next request on that connection gets the new one.
TEST(Serve, AConnectionKeptOpenBetweenRequestsDoesNotHoldUpAPrinterSetUpAnew) {
  Server s("keptopen");
  http_t* http = StartWithClient(s, "kept");
  ASSERT_NE(http, nullptr) << s.Log();
  ASSERT_EQ(MakeAndModel(s, "kept", http), "Tarnwell TW-QD");
  ASSERT_EQ(s.RunLbl("printer remove kept").status, 0);
  const auto added = s.RunLbl("printer add kept --model \"Tarnwell TW-QX\" --device file://" + s.Dir() + "/kept.prn");
  ASSERT_EQ(added.status, 0) << added.err;
  // The server sees the change within two seconds, and the printer is idle; a client kept open would
  // hold it up for as long as the server keeps an idle connection (30 s).
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::string now;
  while ((s.Listed("kept", "printer-make-and-model", &now), now != "Tarnwell TW-QX") &&
         std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(now, "Tarnwell TW-QX") << s.Log();
  EXPECT_EQ(MakeAndModel(s, "kept", http), "Tarnwell TW-QX");
  httpClose(http);
}

}  // namespace

namespace {

// Jobs from three clients at once to a printer on a file: each ends completed and each label is in
// the file once (PAPPL closes a file device at every job's end, also while another job writes).
TEST(Serve, JobsAtOnceToAFilePrinterEachPrintOnce) {
  Server s("filejobs");
  const std::string out = s.Dir() + "/qd.prn";
  s.AddPrinter("qd", "Tarnwell TW-QD", "file://" + out);
  std::ofstream{out};
  ASSERT_TRUE(s.Start()) << s.Log();
  const std::string picture = WritePicture(s.Dir() + "/small.png", 406, 203);
  std::vector<std::thread> clients;
  std::mutex m;
  std::vector<int> ids;
  for (int c = 0; c < 3; ++c)
    clients.emplace_back([&, c] {
      for (int j = 0; j < 8; ++j) {
        const int id = PrintLabels(s, "qd", picture, 1 + (c + j) % 2);
        std::lock_guard<std::mutex> g(m);
        ids.push_back(id);
      }
    });
  for (auto& t : clients) t.join();
  size_t labels = 0;
  for (int c = 0; c < 3; ++c)
    for (int j = 0; j < 8; ++j) labels += 1 + (c + j) % 2;
  for (int id : ids) {
    ASSERT_GT(id, 0) << s.Log();
    const auto job = s.WaitJob("qd", id, 120);
    EXPECT_EQ(job.state, IPP_JSTATE_COMPLETED) << id << ": " << job.message;
  }
  std::string fault;
  EXPECT_EQ(CountLabels(ReadBytes(out), &fault), labels) << fault;
}

// A job cancelled while the TWL printer holds it (out of paper): it ends cancelled, none of its
// labels comes out once paper is back, and the next job prints whole.
TEST(Serve, ACancelledTwlJobLeavesNothingBehind) {
  PaperOutSetup setup;
  std::string error;
  ASSERT_TRUE(setup.sim.Start(&error)) << error;
  Server s("twlcancel");
  s.AddPrinter("ja", "Tarnwell TW-JA", setup.sim.SimUri());
  ASSERT_TRUE(s.Start()) << s.Log();
  const std::string picture = WritePicture(s.Dir() + "/ja.png", 406, 203);
  const int id = PrintLabels(s, "ja", picture, 5);
  ASSERT_GT(id, 0) << s.Log();
  ASSERT_TRUE(WaitHeld(s, "ja", id)) << s.Log();
  EXPECT_EQ(s.Cancel("ja", id), IPP_STATUS_OK);
  EXPECT_EQ(s.WaitJob("ja", id, 30).state, IPP_JSTATE_CANCELED) << s.Log();
  setup.printer->Refill();
  const int next = PrintLabels(s, "ja", picture, 3);
  ASSERT_GT(next, 0) << s.Log();
  EXPECT_EQ(s.WaitJob("ja", next, 60).state, IPP_JSTATE_COMPLETED) << s.Log();
  // Two labels of the cancelled job, three of the next: nothing else.
  EXPECT_EQ(setup.printer->PrintedPages().size(), 5u);
}

// A printer removed (lbl printer remove) while its job waits for the printer: the job gives up, the
// printer's labels stop, and the server goes on serving the others.
TEST(Serve, APrinterRemovedWhileItsJobWaitsLeavesTheServerServing) {
  PaperOutSetup setup;
  std::string error;
  ASSERT_TRUE(setup.sim.Start(&error)) << error;
  Server s("removed");
  s.AddPrinter("ja", "Tarnwell TW-JA", setup.sim.SimUri());
  const std::string out = s.Dir() + "/qd.prn";
  s.AddPrinter("qd", "Tarnwell TW-QD", "file://" + out);
  std::ofstream{out};
  ASSERT_TRUE(s.Start()) << s.Log();
  const std::string picture = WritePicture(s.Dir() + "/ja.png", 406, 203);
  const int id = PrintLabels(s, "ja", picture, 4);
  ASSERT_GT(id, 0) << s.Log();
  ASSERT_TRUE(WaitHeld(s, "ja", id)) << s.Log();
  // The listing tells the two printers apart before one goes.
  std::string model;
  ASSERT_TRUE(s.Listed("ja", "printer-make-and-model", &model)) << s.Log();
  EXPECT_EQ(model, "Tarnwell TW-JA");
  ASSERT_TRUE(s.Listed("qd", "printer-make-and-model", &model)) << s.Log();
  EXPECT_EQ(model, "Tarnwell TW-QD");
  const auto removed = s.RunLbl("printer remove ja");
  ASSERT_EQ(removed.status, 0) << removed.err;
  bool gone = false;
  for (int i = 0; i < 200 && !gone; ++i) {
    gone = s.Unlisted("ja");
    if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(gone) << s.Log();
  EXPECT_TRUE(s.Listed("qd")) << s.Log();
  setup.printer->Refill();
  const int other = s.Print("qd", picture, "image/png");
  ASSERT_GT(other, 0) << s.Log();
  EXPECT_EQ(s.WaitJob("qd", other, 60).state, IPP_JSTATE_COMPLETED) << s.Log();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_EQ(setup.printer->PrintedPages().size(), 2u) << "the removed printer's job printed on";
}

// The printer moved to another device (removed and added again under its name) while its job waits
// for paper: the old job ends, nothing more reaches the old device, and the printer of that name
// prints on the new one.
TEST(Serve, APrinterMovedToAnotherDeviceMidJobPrintsOnTheNewOne) {
  PaperOutSetup setup;
  std::string error;
  ASSERT_TRUE(setup.sim.Start(&error)) << error;
  Server s("moved");
  s.AddPrinter("ja", "Tarnwell TW-JA", setup.sim.SimUri());
  ASSERT_TRUE(s.Start()) << s.Log();
  const std::string picture = WritePicture(s.Dir() + "/ja.png", 406, 203);
  const int id = PrintLabels(s, "ja", picture, 4);
  ASSERT_GT(id, 0) << s.Log();
  ASSERT_TRUE(WaitHeld(s, "ja", id)) << s.Log();
  const std::string out = s.Dir() + "/ja.prn";
  std::ofstream{out};
  ASSERT_EQ(s.RunLbl("printer remove ja").status, 0);
  const auto added = s.RunLbl("printer add ja --model \"Tarnwell TW-JA\" --language twl --device file://" + out);
  ASSERT_EQ(added.status, 0) << added.err;
  // Once the server has seen the change, the old printer takes no jobs while it goes (or has gone); the
  // new one takes them once it is there. Both are asked through the listing: a request to the printer's
  // own URI could meet the old one being deleted.
  std::string accepts;
  bool seen = false;
  for (int i = 0; i < 300 && !seen; ++i) {
    seen = s.Listed("ja", "printer-is-accepting-jobs", &accepts) ? accepts == "false" : s.Unlisted("ja");
    if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(seen) << s.Log();
  for (int i = 0; i < 300 && accepts != "true"; ++i) {
    s.Listed("ja", "printer-is-accepting-jobs", &accepts);
    if (accepts != "true") std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_EQ(accepts, "true") << s.Log();
  const int next = PrintLabels(s, "ja", picture, 3);
  ASSERT_GT(next, 0) << s.Log();
  EXPECT_EQ(s.WaitJob("ja", next, 60).state, IPP_JSTATE_COMPLETED) << s.Log();
  EXPECT_FALSE(ReadBytes(out).empty()) << "nothing reached the new device";
  setup.printer->Refill();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_EQ(setup.printer->PrintedPages().size(), 2u) << "the old job printed on at the old device";
}

}  // namespace
