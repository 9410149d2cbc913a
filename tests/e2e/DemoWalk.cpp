// Walks through a program's windows as a user who goes ahead everywhere:
// takes a screenshot of each window, presses "&Uninstall" (or "Install")
// where there is one, deletes the last two controls of the list (answering
// "Yes", then "Yes to All") and closes it, and dismisses everything else,
// until the program ends.
//   demo_walk <program.exe> <screenshot folder>
#include <cstdio>
#include <string>
#include <vector>

#include "Driver.h"

using namespace e2e;

namespace {

// A file-name-safe form of a caption.
std::string Slug(const std::string& caption) {
  std::string slug;
  for (char c : caption) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
      slug += c;
    else if (!slug.empty() && slug.back() != '-')
      slug += '-';
  }
  while (!slug.empty() && slug.back() == '-') slug.pop_back();
  return slug.empty() ? "window" : slug;
}

const char kRemovalCaption[] = " Delete Custom Control (.OCX) files.";
constexpr int kControlList = 1000, kYes = 1066, kYesToAll = 1067;

int LineCount(HWND dialog) {
  return static_cast<int>(SendMessageA(GetDlgItem(dialog, kControlList), LB_GETCOUNT, 0, 0));
}

bool HasButton(HWND window, const std::string& text) {
  for (const Control& c : Controls(window))
    if (c.className == "Button" && c.text == text) return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: demo_walk <program.exe> <screenshot folder>\n");
    return 2;
  }
  const std::string folder = argv[2];
  try {
    Process app = Process::Start(argv[1]);
    std::vector<HWND> done;
    int step = 0;
    auto shoot = [&](HWND w) {
      char name[16];
      std::snprintf(name, sizeof(name), "%02d-", ++step);
      const std::string caption = Text(w);
      const std::string file = folder + "\\" + name + Slug(caption) + ".bmp";
      std::printf("window \"%s\": %s\n", caption.c_str(),
                  SaveScreenshot(w, file) ? file.c_str() : "no screenshot");
      for (const Control& c : Controls(w)) {
        // An icon static's "text" is its resource ID, not something to read.
        const bool icon = c.className == "Static" && (c.style & SS_TYPEMASK) == SS_ICON;
        if (!icon && !c.text.empty()) std::printf("  %s\n", c.text.c_str());
      }
      std::fflush(stdout);
    };
    HWND removal = nullptr;
    int linesBefore = 0, answers = 0;
    for (HWND w = app.WaitAnyWindow(done); w; w = app.WaitAnyWindow(done)) {
      shoot(w);
      const std::string caption = Text(w);
      if (caption == kRemovalCaption && !removal) {
        // Select the last two lines and delete them; the list stays open.
        removal = w;
        linesBefore = LineCount(w);
        std::vector<int> lines;
        for (int i = linesBefore > 2 ? linesBefore - 2 : 0; i < linesBefore; ++i) lines.push_back(i);
        SelectLines(GetDlgItem(w, kControlList), lines);
        shoot(w);
        Click(w, IDOK);
        done.push_back(w);
        continue;
      }
      if (caption == "Dialog") {
        Click(w, answers++ == 0 ? kYes : kYesToAll);
      } else if (HasButton(w, "&Uninstall")) {
        Click(w, "&Uninstall");
      } else if (HasButton(w, "Install")) {
        Click(w, "Install");  // the dialog stays up under its outcome message
        done.push_back(w);
        continue;
      } else {
        Dismiss(w);
      }
      WaitGone(w);
      done.push_back(w);
      if (removal && answers >= 2 && Exists(removal)) {
        // Once the pass is through, show what is left and close the list.
        for (int i = 0; i < 600 && LineCount(removal) > linesBefore - 2 && !app.WaitAnyWindow(done, 100); ++i) {
        }
        if (!app.WaitAnyWindow(done, 100)) {
          shoot(removal);
          Click(removal, IDCANCEL);
          WaitGone(removal);
        }
      }
    }
    const DWORD code = app.WaitExit();
    std::printf("program ended with exit code %lu\n", static_cast<unsigned long>(code));
    // What it started (the uninstaller) runs on in its tree, which ends with
    // `app`: let it finish first.
    for (DWORD waited = 0; app.TreeSize() > 0 && waited < kTimeoutMs; waited += 100) Sleep(100);
    return code == 0 ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "demo_walk: %s\n", e.what());
    return 1;
  }
}
