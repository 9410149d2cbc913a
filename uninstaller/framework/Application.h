#pragma once
// The one application object of a program. The framework's entry point calls
// its Start routine once; a false result ends the process with exit code 0.
#include <windows.h>

class Application {
 public:
  Application();
  virtual ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  virtual bool Start() = 0;

  static Application* Current() { return current_; }

 private:
  static Application* current_;
};

// String resource holding the application title.
constexpr UINT kAppTitleStringId = 57344;

// The application's standard message box: no owner, captioned with the
// application title; an OK box that names no icon gets the exclamation icon.
int AppMessageBox(const char* text, UINT type = MB_OK);

// The style AppMessageBox shows for a requested style.
UINT AppMessageBoxStyle(UINT type);
