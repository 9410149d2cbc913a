// Drives a real program of ours from outside, as a user would: starts it,
// finds its windows, reads their controls and pixels, presses buttons and
// keys. Runs under Wine in the same prefix as the program.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "Prefix.h"

namespace e2e {

// How long to wait for a window or an exit. A few seconds where Wine runs
// natively, so that a broken build fails fast; minutes where the test bed
// emulates the CPU (TESTBED_EMULATED=1, or unset), as a program may then need
// tens of seconds to show its first window. Fixed at start-up.
extern const DWORD kTimeoutMs;
using testbed::Emulated;
using testbed::WindowsPathFromEnv;

struct Control {
  HWND hwnd = nullptr;
  int id = 0;               // signed: -1 and 0xFFFF style IDs read as in the template
  std::string className;    // "Button", "Static", ...
  std::string text;
  DWORD style = 0;
  RECT rect{};              // in the parent's client coordinates
};

enum class MessageIcon { None, Information, Exclamation, Error, Question, Unknown };
const char* ToString(MessageIcon icon);

// A started program, in a job object of its own. The destructor ends the
// whole tree (the program and whatever it started), and so does the end of
// the test process, however it ends: a failed test leaves nothing running in
// the shared prefix.
class Process {
 public:
  // Starts exePath with workingDir as its current directory (the exe's own
  // directory when empty) and `arguments` after its quoted path. Throws
  // std::runtime_error when it cannot start.
  static Process Start(const std::string& exePath, const std::string& workingDir = "",
                       const std::string& arguments = "");

  Process(Process&& other) noexcept;
  Process& operator=(Process&&) = delete;
  ~Process();

  DWORD Id() const { return id_; }
  bool Running() const;
  // Processes in the program's tree that have not ended, the program included.
  int TreeSize() const;

  // Visible top-level windows of the process, in z-order.
  std::vector<HWND> Windows() const;
  // Waits for a visible top-level window with exactly this caption; null on
  // timeout. The window is painted and idle when it is returned.
  HWND WaitWindow(const std::string& caption, DWORD timeoutMs = kTimeoutMs) const;
  // Waits until the process shows some visible top-level window other than
  // those in `except`, or exits; null then.
  HWND WaitAnyWindow(const std::vector<HWND>& except = {}, DWORD timeoutMs = kTimeoutMs) const;
  // Waits for the process to end; returns its exit code, or STILL_ACTIVE on
  // timeout.
  DWORD WaitExit(DWORD timeoutMs = kTimeoutMs) const;
  // Waits for the process to end and records the caption of every visible
  // top-level window other than `allowed` that appears meanwhile.
  std::vector<std::string> WindowsUntilExit(const std::vector<HWND>& allowed,
                                            DWORD timeoutMs = kTimeoutMs) const;

 private:
  Process(HANDLE job, HANDLE process, DWORD id) : job_(job), process_(process), id_(id) {}
  HANDLE job_ = nullptr;
  HANDLE process_ = nullptr;
  DWORD id_ = 0;
};

// Window facts.
std::string Text(HWND hwnd);
std::string ClassName(HWND hwnd);
HWND Owner(HWND hwnd);
bool Exists(HWND hwnd);
// Waits until the window is destroyed or hidden.
bool WaitGone(HWND hwnd, DWORD timeoutMs = kTimeoutMs);
// Child controls in creation (= tab) order.
std::vector<Control> Controls(HWND dialog);
// The control with this ID; throws std::runtime_error if there is none.
Control FindControl(HWND dialog, int id);
// The first control whose text is exactly `text`; throws if none.
Control FindControl(HWND dialog, const std::string& text);

// Pixels, read from the screen. Coordinates are in the window's client area.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<COLORREF> pixels;  // row by row, top row first
  COLORREF At(int x, int y) const { return pixels[y * width + x]; }
  // How many pixels have exactly this colour.
  int Count(COLORREF colour) const;
};
Image CaptureClient(HWND hwnd, const RECT& area);
Image CaptureClient(HWND hwnd);
COLORREF Pixel(HWND hwnd, int x, int y);
// The standard message-box icon shown by `box`, found by comparing the
// pixels of its icon control with the system icons drawn on the same
// background.
MessageIcon IconOf(HWND box);
// Saves the whole window (frame included) as a 24-bit BMP file.
bool SaveScreenshot(HWND hwnd, const std::string& bmpPath);

// Input. All of it is posted, so that a modal dialog opened in reaction
// cannot block the driver.
void Click(HWND dialog, int buttonId);
void Click(HWND dialog, const std::string& buttonText);
void PressKey(HWND window, UINT virtualKey);   // to the window's focused control
void PressMnemonic(HWND window, char letter);  // Alt+letter
void CloseBox(HWND window);                    // the caption bar's close box
// Ends a dialog or message box with its OK button, else its Cancel button,
// else the close box.
void Dismiss(HWND window);
// Selects exactly these lines in a multiple-selection list box.
void SelectLines(HWND listBox, const std::vector<int>& lines);
// The lines of a list box of another process, in the system code page.
std::vector<std::string> Lines(HWND listBox);
// The lines once they equal `expected` (the program has finished with its
// last answer), or as they are when timeoutMs has passed.
std::vector<std::string> SettledLines(HWND listBox, const std::vector<std::string>& expected,
                                      DWORD timeoutMs = kTimeoutMs);

}  // namespace e2e
