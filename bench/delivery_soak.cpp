// Soak test of TWL page delivery through the whole print path (lbldrv6 on winsim's job runner, the
// spooler, lblmon, the USB port monitor, the simulated TWL printer) with random faults.
//
//   delivery_soak [--jobs N] [--seed S] [--faults all|no-offline-no-delete|none] [--timeout MS]
//
// Jobs of 1 to 5 pages and 1 to 3 copies. Faults, drawn per job: failed writes (1 to 3 in a row), re-print
// requests (a page block lost, the printer asking for it again), late re-print requests (a page block
// lost without a word, and after the next page the printer asking for every page after the one before
// it), short writes (a torn page block), port closes (the spooler closes the port after some of the
// job's pages; the job stays in its queue and is printed again), and with "all" also offline spells (the
// printer goes offline after some of the job's pages and comes back after the job) and job deletions
// (the job deleted in the spooler while it is printed or delivered).
// Prints per-page and per-job figures; exit status 1 when the target of the fault set is missed: for
// "none" and "no-offline-no-delete", every page printed at least once, no page file left behind, every
// job reported ejected; for every fault set, no port write outside a document and no document started
// inside another.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <thread>

#include "tools/deliver.h"
#include "winsim/printpath.h"
#include "winsim/machine.h"
#include "winsim/monitorhost.h"

namespace {

struct JobPlan {
  int pages = 1, copies = 1;
  unsigned failWrites = 0;
  int loseAfter = -1;      // printed blocks before the lost one; -1: none
  int loseLateAfter = -1;  // printed blocks before the one lost without a word; -1: none
  bool shortWrite = false;
  int closeAfter = -1;     // pages printed before the port is closed; -1: no close
  int offlineAfter = 0;    // pages printed before the printer goes offline; 0: no spell
  bool deleteJob = false;
  int deleteDelayMs = 0;
};

struct Figures {
  unsigned pages = 0, once = 0, twiceOrMore = 0, never = 0, neverOffline = 0, neverDeleted = 0, neverOther = 0;
  unsigned jobs = 0, notRendered = 0, notEjected = 0, filesLeft = 0, resends = 0, torn = 0;
  unsigned offlineJobs = 0, deletedJobs = 0, closedJobs = 0, restartedJobs = 0, restartedPages = 0;
};

int Usage() {
  std::fprintf(stderr, "usage: delivery_soak [--jobs N] [--seed S] [--faults all|no-offline-no-delete|none] "
                       "[--timeout MS]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int jobs = 200, timeoutMs = 10000;
  unsigned seed = 1;
  std::string faults = "all";
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (i + 1 >= argc) return Usage();
    if (a == "--jobs") jobs = std::atoi(argv[++i]);
    else if (a == "--seed") seed = unsigned(std::strtoul(argv[++i], nullptr, 10));
    else if (a == "--faults") faults = argv[++i];
    else if (a == "--timeout") timeoutMs = std::atoi(argv[++i]);
    else return Usage();
  }
  if (jobs < 1 || (faults != "all" && faults != "no-offline-no-delete" && faults != "none")) return Usage();
  const bool anyFaults = faults != "none", severe = faults == "all";

  std::mt19937 rng(seed);
  auto chance = [&](double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; };
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  std::vector<JobPlan> plans(static_cast<size_t>(jobs));
  for (auto& p : plans) {
    p.pages = pick(1, 5);
    p.copies = pick(1, 3);
    const int blocks = p.pages * p.copies;
    if (anyFaults) {
      if (chance(0.25)) p.failWrites = unsigned(pick(1, 3));
      if (chance(0.25)) p.loseAfter = pick(0, blocks - 1);
      if (chance(0.15)) p.loseLateAfter = pick(0, blocks - 1);
      p.shortWrite = chance(0.1);
      if (chance(0.08)) p.closeAfter = pick(0, blocks - 1);
    }
    if (severe) {
      if (chance(0.08)) p.offlineAfter = pick(1, blocks);
      if (chance(0.08)) p.deleteJob = true, p.deleteDelayMs = pick(0, 60);
    }
  }

  // Job ids are fixed so that a deletion can be aimed at the job before it exists.
  const DWORD firstId = 5000;
  std::thread deleter;
  std::atomic<bool> stopDeleter{false};

  lbl::DeliverOptions opts;
  opts.job.model = "Tarnwell TW-JA";
  opts.job.hasSize = true;
  opts.job.widthTenths = 500;
  opts.job.lengthTenths = 300;
  opts.jobs = jobs;
  opts.timeoutMs = timeoutMs;
  opts.shape = [&](int job, int* pages, int* copies) {
    *pages = plans[size_t(job)].pages;
    *copies = plans[size_t(job)].copies;
  };
  opts.beforeJob = [&](int job, winsim::TwlPrinterDevice* printer) {
    const JobPlan& p = plans[size_t(job)];
    winsim::SetNextJobId(firstId + DWORD(job));
    if (p.failWrites) printer->FailNextWrites(p.failWrites);
    if (p.loseAfter >= 0) printer->LoseBlockAfter(unsigned(p.loseAfter));
    else if (p.loseLateAfter >= 0)
      printer->LoseBlockAfter(unsigned(p.loseLateAfter), winsim::TwlPrinterDevice::kSilentlyThenEarlier);
    if (p.shortWrite) printer->ShortenNextWrites(1, 100);
    if (p.offlineAfter) printer->GoOfflineAfterPages(unsigned(p.offlineAfter));
    if (p.deleteJob) {
      const DWORD id = firstId + DWORD(job);
      const int delay = p.deleteDelayMs;
      stopDeleter = false;
      deleter = std::thread([id, delay, &stopDeleter] {
        // Setting status 0 only succeeds once the spooler knows the job, and a new job's status is 0.
        while (!stopDeleter && !winsim::SetJobStatus(id, 0)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        if (!stopDeleter) winsim::SetJobStatus(id, JOB_STATUS_DELETING);
      });
    }
  };

  opts.closePortAfter = [&](int job) { return plans[size_t(job)].closeAfter; };

  Figures f;
  opts.afterJob = [&](int job, const lbl::DeliveredJob& r, winsim::TwlPrinterDevice* printer) {
    const JobPlan& p = plans[size_t(job)];
    if (deleter.joinable()) {
      stopDeleter = true;
      deleter.join();
    }
    // Faults that did not fire in this job must not carry over to the next one.
    printer->ClearFaults();
    printer->SetOffline(false);
    printer->ClearPrinted();

    ++f.jobs;
    f.offlineJobs += p.offlineAfter != 0;
    f.deletedJobs += p.deleteJob;
    f.closedJobs += p.closeAfter >= 0;
    f.restartedJobs += r.restarted;
    if (!r.rendered) ++f.notRendered;
    if (!r.ejected) ++f.notEjected;
    f.resends += r.resends;
    f.torn += r.tornBlocks;
    std::map<uint16_t, unsigned> printed;
    for (const auto& page : r.pages) ++printed[page.number];
    // The job's page numbers: the renderer's counter ran through them in a row.
    static uint32_t counter = 1;  // as in the freshly loaded rendering DLL
    if (r.restarted) {
      // The first run's pages were superseded by the run the restart rendered; those must all come out.
      counter += r.pagesRenderedBeforeRestart;
      f.restartedPages += r.pagesRenderedBeforeRestart;
      if (counter > 8999) counter = 1;
    }
    for (unsigned k = 0; k < r.pagesRendered; ++k) {
      const uint16_t number = uint16_t(++counter);
      ++f.pages;
      const unsigned n = printed.count(number) ? printed[number] : 0;
      if (n == 1) ++f.once;
      if (n >= 2) ++f.twiceOrMore;
      if (n == 0) {
        ++f.never;
        if (p.offlineAfter) ++f.neverOffline;
        else if (p.deleteJob) ++f.neverDeleted;
        else ++f.neverOther;
      }
    }
    if (counter > 8999) counter = 1;  // the renderer wraps its counter at the end of a job
  };

  lbl::DeliveryReport report;
  std::string error;
  const auto started = std::chrono::steady_clock::now();
  if (!lbl::RunDelivery(opts, &report, &error)) {
    std::fprintf(stderr, "delivery_soak: %s\n", error.c_str());
    return 1;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  f.filesLeft = unsigned(report.pageFilesLeft.size());
  const size_t portHandles = winsim::OpenPortHandles();
  // Job records the monitor still held when its port closed: jobs that no clear released.
  SYSTEMTIME now;
  GetLocalTime(&now);
  const std::string logName = "c:\\prtmonlog\\mon_" + std::to_string(now.wYear) + "-" + std::to_string(now.wMonth) +
                              "-" + std::to_string(now.wDay) + ".log";
  const std::vector<uint8_t> logBytes = winsim::ReadHostFile(std::u16string(logName.begin(), logName.end()));
  const std::string log(logBytes.begin(), logBytes.end());
  // The port monitor refuses writes outside a document and a document started inside another: any such
  // call is a fault of the monitor whatever the printer did.
  unsigned documentFaults = 0;
  for (const auto& call : winsim::PortMonitorCalls()) documentFaults += call.find("refused") != std::string::npos;
  unsigned heldAtClose = 0;
  for (size_t at = log.find("FreeIniJob: the job "); at != std::string::npos; at = log.find("FreeIniJob: the job ", at + 1))
    ++heldAtClose;

  std::printf("faults %s, seed %u, %u jobs (%u with an offline spell, %u deleted, %u with the port closed, %u of them "
              "printed again), %.1f s\n",
              faults.c_str(), seed, f.jobs, f.offlineJobs, f.deletedJobs, f.closedJobs, f.restartedJobs, seconds);
  std::printf("pages rendered          %u (and %u of first runs that a restart rendered again)\n", f.pages,
              f.restartedPages);
  std::printf("printed exactly once    %u\n", f.once);
  std::printf("printed twice or more   %u\n", f.twiceOrMore);
  std::printf("never printed           %u (offline job %u, deleted job %u, otherwise %u)\n", f.never, f.neverOffline,
              f.neverDeleted, f.neverOther);
  std::printf("page blocks sent again  %u (torn blocks %u)\n", f.resends, f.torn);
  std::printf("jobs not rendered       %u\n", f.notRendered);
  std::printf("jobs never ejected      %u\n", f.notEjected);
  std::printf("page files left behind  %u\n", f.filesLeft);
  std::printf("port handles left open  %zu\n", portHandles);
  std::printf("job records held until the port closed  %u\n", heldAtClose);
  std::printf("port calls outside the document rules  %u\n", documentFaults);
  const bool target = f.neverOther == 0 && f.filesLeft == 0 && documentFaults == 0 &&
                      (severe || (f.never == 0 && f.notEjected == 0));
  std::printf("target %s\n", target ? "met" : "MISSED");
  return target ? 0 : 1;
}
