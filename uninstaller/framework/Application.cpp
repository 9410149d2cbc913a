#include "Application.h"

Application* Application::current_ = nullptr;

Application::Application(UINT titleStringId) : titleStringId_(titleStringId) { current_ = this; }
Application::~Application() {
  if (current_ == this) current_ = nullptr;
}

UINT AppMessageBoxStyle(UINT type) {
  if ((type & MB_TYPEMASK) == MB_OK && (type & MB_ICONMASK) == 0) type |= MB_ICONEXCLAMATION;
  return type;
}

int AppMessageBox(const char* text, UINT type) {
  char title[256];
  const Application* app = Application::Current();
  if (!app || LoadStringA(GetModuleHandleA(nullptr), app->TitleStringId(), title, sizeof title) <= 0) title[0] = '\0';
  return MessageBoxA(nullptr, text, title, AppMessageBoxStyle(type));
}
