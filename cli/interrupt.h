#pragma once
// Ctrl+C, SIGTERM and SIGHUP: the program dies of the signal as usual (the
// shell sees 128 + its number), but first clears the progress line, and never
// in the middle of replacing a file or of the counter reset after it.
namespace riventar::cli {

// Once, at start, before any thread is made.
void InstallInterruptHandlers();

// While one lives, standard error's line holds the progress bar; an interrupt
// clears it.
class ProgressLine {
 public:
  ProgressLine();
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;
};

// While one lives, an interrupt waits; it takes effect when the last ends.
class InterruptsDeferred {
 public:
  InterruptsDeferred();
  ~InterruptsDeferred();
  InterruptsDeferred(const InterruptsDeferred&) = delete;
  InterruptsDeferred& operator=(const InterruptsDeferred&) = delete;
};

}  // namespace riventar::cli
