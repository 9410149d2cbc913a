#pragma once
// The one application object of a program. The framework's entry point calls
// its Start routine once; a false result ends the process with exit code 0.
#include <windows.h>

class Application {
 public:
  // titleStringId: the string resource holding the application title.
  explicit Application(UINT titleStringId);
  virtual ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  virtual bool Start() = 0;

  static Application* Current() { return current_; }
  UINT TitleStringId() const { return titleStringId_; }

 private:
  static Application* current_;
  UINT titleStringId_;
};

// The application's standard message box: no owner, captioned with the
// current application's title (none without an application object); an OK
// box that names no icon gets the exclamation icon.
int AppMessageBox(const char* text, UINT type = MB_OK);

// The style AppMessageBox shows for a requested style.
UINT AppMessageBoxStyle(UINT type);
