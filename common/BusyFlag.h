#pragma once
// Marks a stretch of work during which a window must not start that work
// again or close: a control's unregistration, the setup library's run, a
// question asked on the way. Disabling the window is not enough: posted
// WM_COMMANDs reach a disabled window too, and a message loop of foreign
// code (or a nested modal one) dispatches them.
//
// Contract: a window's command handler asks IsSet() first and, while it is
// set, ignores the commands that would start or end the work, reporting
// them handled. Scope sets the flag for its lifetime and puts back what was
// there before, so stretches may nest. No allocation, no C++ runtime: both
// programs use it.
class BusyFlag {
 public:
  constexpr BusyFlag() {}
  BusyFlag(const BusyFlag&) = delete;
  BusyFlag& operator=(const BusyFlag&) = delete;

  bool IsSet() const { return busy_; }

  class Scope {
   public:
    explicit Scope(BusyFlag& flag) : flag_(flag), previous_(flag.busy_) { flag.busy_ = true; }
    ~Scope() { flag_.busy_ = previous_; }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    BusyFlag& flag_;
    bool previous_;
  };

 private:
  bool busy_ = false;
};
