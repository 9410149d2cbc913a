// Walks through a program's windows as a user who goes ahead everywhere:
// takes a screenshot of each window, presses "&Uninstall" where there is
// one and dismisses everything else, until the program ends.
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
    for (HWND w = app.WaitAnyWindow(done); w; w = app.WaitAnyWindow(done)) {
      char name[16];
      std::snprintf(name, sizeof(name), "%02d-", ++step);
      const std::string caption = Text(w);
      const std::string file = folder + "\\" + name + Slug(caption) + ".bmp";
      std::printf("window \"%s\": %s\n", caption.c_str(),
                  SaveScreenshot(w, file) ? file.c_str() : "no screenshot");
      for (const Control& c : Controls(w))
        if (!c.text.empty()) std::printf("  %s\n", c.text.c_str());
      std::fflush(stdout);
      if (HasButton(w, "&Uninstall"))
        Click(w, "&Uninstall");
      else
        Dismiss(w);
      WaitGone(w);
      done.push_back(w);
    }
    const DWORD code = app.WaitExit();
    std::printf("program ended with exit code %lu\n", static_cast<unsigned long>(code));
    return code == 0 ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "demo_walk: %s\n", e.what());
    return 1;
  }
}
