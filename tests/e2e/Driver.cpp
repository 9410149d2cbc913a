#include "Driver.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>

namespace e2e {

// A native Wine shows a window well within a second; 5 s leaves room for a
// machine busy with other builds.
const DWORD kTimeoutMs = Emulated() ? 120000 : 5000;

namespace {

constexpr DWORD kPollMs = 50;
const UINT kSendTimeoutMs = Emulated() ? 10000 : 3000;

// Calls `done` every poll interval until it returns true or time runs out.
template <typename F>
bool PollUntil(DWORD timeoutMs, F done) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (done()) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(kPollMs);
  }
}

LRESULT Send(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(hwnd, msg, wp, lp, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
  return static_cast<LRESULT>(result);
}

// `goneOk`: a window that has already gone is no failure.
void Post(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool goneOk = false) {
  if (!PostMessageA(hwnd, msg, wp, lp) && !(goneOk && GetLastError() == ERROR_INVALID_WINDOW_HANDLE))
    throw std::runtime_error("PostMessage failed: " + std::to_string(GetLastError()));
}

// A top-down 32-bit DIB section with a memory DC selected into it.
class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_),
                               nullptr, 0);
    if (!dc_ || !bitmap_) throw std::runtime_error("cannot create a bitmap");
    old_ = SelectObject(dc_, bitmap_);
  }
  ~Canvas() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC Dc() const { return dc_; }
  void CopyFromScreen(int screenX, int screenY) {
    HDC screen = GetDC(nullptr);
    BitBlt(dc_, 0, 0, width_, height_, screen, screenX, screenY, SRCCOPY);
    ReleaseDC(nullptr, screen);
    GdiFlush();
  }
  void Fill(COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    RECT all{0, 0, width_, height_};
    FillRect(dc_, &all, brush);
    DeleteObject(brush);
  }
  Image ToImage() {
    GdiFlush();
    Image image;
    image.width = width_;
    image.height = height_;
    image.pixels.reserve(static_cast<size_t>(width_) * height_);
    for (int i = 0; i < width_ * height_; ++i) {
      const DWORD p = bits_[i];  // 0x00RRGGBB
      image.pixels.push_back(RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF));
    }
    return image;
  }

 private:
  int width_, height_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  DWORD* bits_ = nullptr;
};

// The window has processed its queue and its pixels have stopped changing.
void Settle(HWND hwnd) {
  Send(hwnd, WM_NULL, 0, 0);
  Image last = CaptureClient(hwnd);
  for (int i = 0; i < 40; ++i) {
    Sleep(100);
    Send(hwnd, WM_NULL, 0, 0);
    Image now = CaptureClient(hwnd);
    if (now.pixels == last.pixels) return;
    last = std::move(now);
  }
}

COLORREF MostFrequentOnBorder(const Image& image) {
  std::map<COLORREF, int> counts;
  for (int x = 0; x < image.width; ++x) {
    ++counts[image.At(x, 0)];
    ++counts[image.At(x, image.height - 1)];
  }
  for (int y = 0; y < image.height; ++y) {
    ++counts[image.At(0, y)];
    ++counts[image.At(image.width - 1, y)];
  }
  return std::max_element(counts.begin(), counts.end(),
                          [](auto& a, auto& b) { return a.second < b.second; })
      ->first;
}

}  // namespace

const char* ToString(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::None: return "none";
    case MessageIcon::Information: return "information";
    case MessageIcon::Exclamation: return "exclamation";
    case MessageIcon::Error: return "error";
    case MessageIcon::Question: return "question";
    case MessageIcon::Unknown: break;
  }
  return "unknown";
}

// --- Process -----------------------------------------------------------

Process Process::Start(const std::string& exePath, const std::string& workingDir,
                       const std::string& arguments) {
  std::string dir = workingDir;
  if (dir.empty()) dir = exePath.substr(0, exePath.find_last_of("\\/") + 1);
  std::string commandLine = "\"" + exePath + "\"";
  if (!arguments.empty()) commandLine += " " + arguments;
  // Closing the last handle to the job ends every process in it, also when
  // this test process is killed (a time limit) or crashes.
  HANDLE job = CreateJobObjectA(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!job || !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits,
                                       sizeof(limits))) {
    const DWORD error = GetLastError();
    if (job) CloseHandle(job);
    throw std::runtime_error("cannot make a job object: error " + std::to_string(error));
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  // Suspended until it is in the job, so that nothing it starts escapes.
  if (!CreateProcessA(exePath.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                      nullptr, dir.empty() ? nullptr : dir.c_str(), &startup, &info)) {
    const DWORD error = GetLastError();
    CloseHandle(job);
    throw std::runtime_error("cannot start " + exePath + ": error " + std::to_string(error));
  }
  if (!AssignProcessToJobObject(job, info.hProcess)) {
    const DWORD error = GetLastError();
    TerminateProcess(info.hProcess, 1);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    CloseHandle(job);
    throw std::runtime_error("cannot put " + exePath + " in a job: error " +
                             std::to_string(error));
  }
  ResumeThread(info.hThread);
  CloseHandle(info.hThread);
  return Process(job, info.hProcess, info.dwProcessId);
}

Process::Process(Process&& other) noexcept
    : job_(other.job_), process_(other.process_), id_(other.id_) {
  other.job_ = nullptr;
  other.process_ = nullptr;
}

Process::~Process() {
  if (job_) {
    TerminateJobObject(job_, 1);
    CloseHandle(job_);
  }
  if (process_) {
    WaitForSingleObject(process_, 10000);
    CloseHandle(process_);
  }
}

int Process::TreeSize() const {
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
  if (!QueryInformationJobObject(job_, JobObjectBasicAccountingInformation, &accounting,
                                 sizeof(accounting), nullptr))
    return -1;
  return static_cast<int>(accounting.ActiveProcesses);
}

bool Process::Running() const { return WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

namespace {

struct WindowSearch {
  DWORD pid;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM lp) {
  auto* search = reinterpret_cast<WindowSearch*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == search->pid && IsWindowVisible(hwnd)) search->found.push_back(hwnd);
  return TRUE;
}

}  // namespace

std::vector<HWND> Process::Windows() const {
  WindowSearch search{id_, {}};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND Process::WaitWindow(const std::string& caption, DWORD timeoutMs) const {
  HWND found = nullptr;
  PollUntil(timeoutMs, [&] {
    for (HWND w : Windows())
      if (Text(w) == caption) found = w;
    return found != nullptr || !Running();
  });
  if (found) Settle(found);
  return found;
}

HWND Process::WaitAnyWindow(const std::vector<HWND>& except, DWORD timeoutMs) const {
  HWND found = nullptr;
  PollUntil(timeoutMs, [&] {
    for (HWND w : Windows())
      if (std::find(except.begin(), except.end(), w) == except.end()) found = w;
    return found != nullptr || !Running();
  });
  if (found) Settle(found);
  return found;
}

DWORD Process::WaitExit(DWORD timeoutMs) const {
  if (WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process_, &code);
  return code;
}

std::vector<std::string> Process::WindowsUntilExit(const std::vector<HWND>& allowed,
                                                   DWORD timeoutMs) const {
  std::vector<HWND> seen;
  std::vector<std::string> captions;
  PollUntil(timeoutMs, [&] {
    const bool ended = !Running();  // checked first: a last window is not missed
    for (HWND w : Windows()) {
      if (std::find(allowed.begin(), allowed.end(), w) != allowed.end()) continue;
      if (std::find(seen.begin(), seen.end(), w) != seen.end()) continue;
      seen.push_back(w);
      captions.push_back(Text(w));
    }
    return ended;
  });
  return captions;
}

// --- Window facts --------------------------------------------------------

std::string Text(HWND hwnd) {
  const LRESULT length = Send(hwnd, WM_GETTEXTLENGTH, 0, 0);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const LRESULT copied = Send(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
  text.resize(static_cast<size_t>(copied));
  return text;
}

std::string ClassName(HWND hwnd) {
  char name[256] = "";
  GetClassNameA(hwnd, name, sizeof(name));
  return name;
}

HWND Owner(HWND hwnd) { return GetWindow(hwnd, GW_OWNER); }

bool Exists(HWND hwnd) { return IsWindow(hwnd) && IsWindowVisible(hwnd); }

bool WaitGone(HWND hwnd, DWORD timeoutMs) {
  return PollUntil(timeoutMs, [&] { return !Exists(hwnd); });
}

std::vector<Control> Controls(HWND dialog) {
  std::vector<Control> controls;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    Control c;
    c.hwnd = child;
    c.id = GetDlgCtrlID(child);
    if (c.id == 0xFFFF) c.id = -1;  // -1 in a 16-bit ID field
    c.className = ClassName(child);
    c.text = Text(child);
    c.style = static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE));
    GetWindowRect(child, &c.rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&c.rect), 2);
    controls.push_back(c);
  }
  return controls;
}

Control FindControl(HWND dialog, int id) {
  for (const Control& c : Controls(dialog))
    if (c.id == id) return c;
  throw std::runtime_error("no control with ID " + std::to_string(id));
}

Control FindControl(HWND dialog, const std::string& text) {
  for (const Control& c : Controls(dialog))
    if (c.text == text) return c;
  throw std::runtime_error("no control with text \"" + text + "\"");
}

// --- Pixels --------------------------------------------------------------

int Image::Count(COLORREF colour) const {
  return static_cast<int>(std::count(pixels.begin(), pixels.end(), colour));
}

Image CaptureClient(HWND hwnd, const RECT& area) {
  const int width = area.right - area.left, height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return Image{};
  POINT origin{area.left, area.top};
  ClientToScreen(hwnd, &origin);
  Canvas canvas(width, height);
  canvas.CopyFromScreen(origin.x, origin.y);
  return canvas.ToImage();
}

Image CaptureClient(HWND hwnd) {
  RECT client{};
  GetClientRect(hwnd, &client);
  return CaptureClient(hwnd, client);
}

COLORREF Pixel(HWND hwnd, int x, int y) {
  RECT one{x, y, x + 1, y + 1};
  return CaptureClient(hwnd, one).At(0, 0);
}

MessageIcon IconOf(HWND box) {
  HWND iconControl = nullptr;
  for (const Control& c : Controls(box))
    if (c.className == "Static" && (c.style & SS_TYPEMASK) == SS_ICON &&
        (c.style & WS_VISIBLE))
      iconControl = c.hwnd;
  if (!iconControl) return MessageIcon::None;
  // Another process's icon handle can't be compared, but null means none.
  if (!SendMessageA(iconControl, STM_GETICON, 0, 0)) return MessageIcon::None;

  const Image shown = CaptureClient(iconControl);
  if (shown.width == 0) return MessageIcon::None;
  const COLORREF background = MostFrequentOnBorder(shown);
  if (shown.Count(background) == static_cast<int>(shown.pixels.size())) return MessageIcon::None;

  const struct {
    MessageIcon icon;
    LPCSTR resource;
  } candidates[] = {
      {MessageIcon::Information, IDI_ASTERISK},
      {MessageIcon::Exclamation, IDI_EXCLAMATION},
      {MessageIcon::Error, IDI_HAND},
      {MessageIcon::Question, IDI_QUESTION},
  };
  MessageIcon best = MessageIcon::Unknown;
  size_t bestDiff = shown.pixels.size() / 50 + 1;  // allow 2% stray pixels
  for (const auto& candidate : candidates) {
    Canvas canvas(shown.width, shown.height);
    canvas.Fill(background);
    DrawIconEx(canvas.Dc(), 0, 0, LoadIconA(nullptr, candidate.resource), 0, 0, 0, nullptr,
               DI_NORMAL);
    const Image drawn = canvas.ToImage();
    size_t diff = 0;
    for (size_t i = 0; i < drawn.pixels.size(); ++i) diff += drawn.pixels[i] != shown.pixels[i];
    if (diff < bestDiff) {
      bestDiff = diff;
      best = candidate.icon;
    }
  }
  return best;
}

bool SaveScreenshot(HWND hwnd, const std::string& bmpPath) {
  RECT r{};
  if (!GetWindowRect(hwnd, &r)) return false;
  const int width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return false;
  Canvas canvas(width, height);
  canvas.CopyFromScreen(r.left, r.top);
  const Image image = canvas.ToImage();

  const int stride = (width * 3 + 3) & ~3;
  BITMAPFILEHEADER file{};
  BITMAPINFOHEADER info{};
  info.biSize = sizeof(info);
  info.biWidth = width;
  info.biHeight = height;  // bottom-up
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  info.biSizeImage = static_cast<DWORD>(stride) * height;
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof(file) + sizeof(info);
  file.bfSize = file.bfOffBits + info.biSizeImage;

  FILE* out = std::fopen(bmpPath.c_str(), "wb");
  if (!out) return false;
  std::fwrite(&file, sizeof(file), 1, out);
  std::fwrite(&info, sizeof(info), 1, out);
  std::vector<unsigned char> row(static_cast<size_t>(stride), 0);
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      const COLORREF c = image.At(x, y);
      row[x * 3 + 0] = GetBValue(c);
      row[x * 3 + 1] = GetGValue(c);
      row[x * 3 + 2] = GetRValue(c);
    }
    std::fwrite(row.data(), row.size(), 1, out);
  }
  return std::fclose(out) == 0;
}

// --- Input ---------------------------------------------------------------

namespace {

HWND FocusOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  // The thread's focus may still be on a window that is going away (a
  // question just closed, its owner not yet active again): keys meant for
  // `window` then go to the window itself.
  if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) && info.hwndFocus &&
      (info.hwndFocus == window || IsChild(window, info.hwndFocus)))
    return info.hwndFocus;
  return window;
}

}  // namespace

void Click(HWND dialog, int buttonId) {
  HWND button = GetDlgItem(dialog, buttonId);
  Post(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

void Click(HWND dialog, const std::string& buttonText) {
  const Control button = FindControl(dialog, buttonText);
  Post(dialog, WM_COMMAND, MAKEWPARAM(button.id, BN_CLICKED),
       reinterpret_cast<LPARAM>(button.hwnd));
}

void PressKey(HWND window, UINT virtualKey) {
  HWND target = FocusOf(window);
  const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC)) << 16;
  Post(target, WM_KEYDOWN, virtualKey, scan | 1);
  // The key down may already have closed the window (Escape, Enter): then
  // nobody is left to hear the key go up.
  Post(target, WM_KEYUP, virtualKey, scan | 1 | (1u << 30) | (1u << 31), true);
}

void PressMnemonic(HWND window, char letter) {
  // What TranslateMessage makes of Alt+letter: the dialog manager looks the
  // letter up among the controls' "&" prefixes.
  Post(FocusOf(window), WM_SYSCHAR, static_cast<WPARAM>(letter), 1 | (1 << 29));
}

void CloseBox(HWND window) { Post(window, WM_SYSCOMMAND, SC_CLOSE, 0); }

void Dismiss(HWND window) {
  for (int id : {IDOK, IDCANCEL}) {
    HWND button = GetDlgItem(window, id);
    if (button && IsWindowVisible(button) && IsWindowEnabled(button)) {
      Click(window, id);
      return;
    }
  }
  CloseBox(window);
}

void SelectLines(HWND listBox, const std::vector<int>& lines) {
  Send(listBox, LB_SETSEL, FALSE, -1);
  for (int line : lines) Send(listBox, LB_SETSEL, TRUE, line);
}

std::vector<std::string> Lines(HWND listBox) {
  std::vector<std::string> lines;
  int count = static_cast<int>(SendMessageA(listBox, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    // Across processes the list box answers in UTF-16 whatever was asked.
    std::wstring wide(SendMessageW(listBox, LB_GETTEXTLEN, i, 0) * 2 + 16, L'\0');
    SendMessageW(listBox, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&wide[0]));
    char text[1024] = "";
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, text, sizeof text, nullptr, nullptr);
    lines.push_back(text);
  }
  return lines;
}

std::vector<std::string> SettledLines(HWND listBox, const std::vector<std::string>& expected, DWORD timeoutMs) {
  std::vector<std::string> lines = Lines(listBox);
  for (DWORD waited = 0; lines != expected && waited < timeoutMs; waited += 200) {
    Sleep(200);
    lines = Lines(listBox);
  }
  return lines;
}

}  // namespace e2e
