// The fault guard: any exception leaving a guarded call ends that call only,
// and the thread's exception chain is left exactly as it was.
#include <windows.h>

#include <excpt.h>
#include <gtest/gtest.h>

#include "Prefix.h"
#include "ExceptionChain.h"
#include "removal/FaultGuard.h"

namespace {
long ReturnArgument(void* argument) { return static_cast<long>(reinterpret_cast<INT_PTR>(argument)); }

long WriteThroughNull(void*) {
  volatile int* volatile nothing = nullptr;
  *nothing = 1;
  return 7;
}

long DivideByZero(void*) {
  volatile int zero = 0;
  volatile int one = 1;
  return one / zero;
}

long IllegalInstruction(void*) {
  asm volatile("ud2");
  return 7;
}

// Faults with the stack pointer far from where the call began, and with
// the direction flag set, as broken code may leave them.
long FaultWithStackAndFlagsMoved(void*) {
  asm volatile(
      "subl $4096, %%esp\n\t"
      "std\n\t"
      "movl $0, %%eax\n\t"
      "movl (%%eax), %%eax\n\t"
      "addl $4096, %%esp\n\t"
      "cld" ::: "eax", "memory");
  return 7;
}

// A C++ throw that nothing catches, as the platform's compilers raise it.
long ThrowUncaught(void*) {
  const ULONG_PTR info[3] = {0x19930520, 0, 0};
  RaiseException(0xE06D7363, EXCEPTION_NONCONTINUABLE, 3, info);
  return 7;
}

long RaiseContinuable(void*) {
  RaiseException(0xE0000001, 0, 0, nullptr);
  return 7;
}

long Overflow(void* depth) {
  volatile char frame[1024];
  frame[0] = 1;
  if (frame[0]) return Overflow(static_cast<char*>(depth) + 1) + frame[1];
  return 0;
}

// A handler of the foreign code's own, nearer on the chain than the guard:
// it counts the exceptions it is offered and the unwinds it is asked to run.
int g_ownHandlerCalls = 0;
int g_ownUnwinds = 0;
bool g_ownHandlerResolves = false;
GuardedFunction g_ownUnwindRuns = nullptr;  // what its termination code does
EXCEPTION_DISPOSITION __cdecl OwnHandler(EXCEPTION_RECORD* record, void*, CONTEXT* context, void*) {
  if (record->ExceptionFlags & EXCEPTION_UNWIND) {
    ++g_ownUnwinds;
    if (g_ownUnwindRuns) g_ownUnwindRuns(nullptr);
    return ExceptionContinueSearch;
  }
  ++g_ownHandlerCalls;
  if (!g_ownHandlerResolves) return ExceptionContinueSearch;
  context->Eip += 3;  // steps over the 3-byte faulting store below
  return ExceptionContinueExecution;
}

struct Record {
  void* next;
  void* handler;
};
Record g_recordOffTheStack = {reinterpret_cast<void*>(-1), reinterpret_cast<void*>(&OwnHandler)};

// How FaultUnderOwnRecord leaves the chain before it faults, as an overrun
// or stray write would.
enum Breakage {
  kIntact,
  kHeadOffTheStack,     // the head points at a record outside the stack
  kHeadMisaligned,      // the head points into the middle of the own record
  kOwnRecordLoops,      // the own record's link points at itself
  kOwnRecordLeadsOff,   // the own record's link is overwritten with text
};

// Installs its own record, faults, and never gets to take the record off:
// the guard must unlink it. The argument is a Breakage.
long FaultUnderOwnRecord(void* breakage) {
  volatile Record own;
  void* const head = ExceptionChainHead();
  own.next = head;
  own.handler = reinterpret_cast<void*>(&OwnHandler);
  void* newHead = const_cast<Record*>(&own);
  switch (reinterpret_cast<INT_PTR>(breakage)) {
    case kHeadOffTheStack:
      newHead = &g_recordOffTheStack;
      break;
    case kHeadMisaligned:
      newHead = reinterpret_cast<char*>(newHead) + 2;
      break;
    case kOwnRecordLoops:
      own.next = newHead;
      break;
    case kOwnRecordLeadsOff:
      own.next = reinterpret_cast<void*>(0x41414141);
      break;
  }
  asm volatile("movl %0, %%fs:0" ::"r"(newHead) : "memory");
  long value = 5;
  // A fixed 3-byte instruction, so that the own handler can step over it.
  asm volatile(
      "xorl %%ecx, %%ecx\n\t"
      ".byte 0x89, 0x41, 0x00\n\t"  // movl %eax, 0(%ecx)
      : : "a"(value) : "ecx", "memory");
  asm volatile("movl %0, %%fs:0" ::"r"(head) : "memory");
  return 11;
}

long NestedFault(void* inner) {
  long result = -1;
  DWORD code = 0;
  bool completed = GuardedCall(reinterpret_cast<GuardedFunction>(inner), nullptr, &result, &code);
  return completed ? 100 : static_cast<long>(code);
}

class FaultGuardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    head_ = ExceptionChainHead();
    g_ownHandlerCalls = g_ownUnwinds = 0;
    g_ownHandlerResolves = false;
    g_ownUnwindRuns = nullptr;
  }
  void TearDown() override { EXPECT_EQ(head_, ExceptionChainHead()) << "chain head changed"; }

  // Runs call guarded; the chain head is checked at once, before anything
  // else could put it right.
  bool Run(GuardedFunction call, long* result, DWORD* code, void* argument = nullptr) {
    bool completed = GuardedCall(call, argument, result, code);
    EXPECT_EQ(head_, ExceptionChainHead());
    return completed;
  }

  void* head_ = nullptr;
};

TEST_F(FaultGuardTest, ANormalCallGivesItsResult) {
  long result = 0;
  DWORD code = 0;
  EXPECT_TRUE(Run(ReturnArgument, &result, &code, reinterpret_cast<void*>(42)));
  EXPECT_EQ(42, result);
  EXPECT_EQ(0u, code);
  EXPECT_TRUE(Run(ReturnArgument, &result, nullptr, reinterpret_cast<void*>(-3)));
  EXPECT_EQ(-3, result);
}

// Under CPU emulation hardware faults reach Wine with other codes (an access
// violation may come back as an illegal instruction, a divide by zero as
// 0xC0000090), and a stack overflow as an access violation, of which a
// second kills the emulator itself. There those cases are skipped, and a
// hardware fault's code is only checked to be one.
bool CodesMatch(DWORD expected, DWORD code) {
  if (!testbed::Emulated() || (expected & 0xF0000000) != 0xC0000000) return expected == code;
  return (code & 0xF0000000) == 0xC0000000;
}

#define SKIP_WHEN_EMULATED(why) \
  if (testbed::Emulated()) GTEST_SKIP() << "emulated CPU: " << why

struct ExceptionCase {
  GuardedFunction call;
  DWORD code;
};

class FaultGuardCasesTest : public FaultGuardTest {
 protected:
  void RunCases(std::initializer_list<ExceptionCase> cases, bool exactCodes) {
    for (const auto& c : cases) {
      long result = 99;
      DWORD code = 0;
      EXPECT_FALSE(Run(c.call, &result, &code)) << std::hex << c.code;
      EXPECT_EQ(99, result) << "result unchanged on a fault";
      if (exactCodes) {
        EXPECT_EQ(c.code, code);
      } else {
        EXPECT_TRUE(CodesMatch(c.code, code)) << std::hex << c.code << " came back as " << code;
      }
    }
  }
};

TEST_F(FaultGuardCasesTest, EachExceptionEndsTheCallAsAFailure) {
  RunCases({{WriteThroughNull, EXCEPTION_ACCESS_VIOLATION},
            {DivideByZero, EXCEPTION_INT_DIVIDE_BY_ZERO},
            {IllegalInstruction, EXCEPTION_ILLEGAL_INSTRUCTION},
            {ThrowUncaught, 0xE06D7363},
            {RaiseContinuable, 0xE0000001},
            {WriteThroughNull, EXCEPTION_ACCESS_VIOLATION}},
           false);
}

TEST_F(FaultGuardCasesTest, HardwareFaultsKeepTheirCodesWhateverTheStackAndFlags) {
  SKIP_WHEN_EMULATED("the emulator reports hardware exceptions with other codes, and dies of a fault "
                     "with the stack pointer moved");
  RunCases({{WriteThroughNull, EXCEPTION_ACCESS_VIOLATION},
            {DivideByZero, EXCEPTION_INT_DIVIDE_BY_ZERO},
            {IllegalInstruction, EXCEPTION_ILLEGAL_INSTRUCTION},
            {FaultWithStackAndFlagsMoved, EXCEPTION_ACCESS_VIOLATION}},
           true);
  // The direction flag is clear again after the fault that left it set.
  unsigned flags;
  asm volatile("pushfl\n\tpopl %0" : "=r"(flags));
  EXPECT_EQ(0u, flags & 0x400);
}

TEST_F(FaultGuardCasesTest, StackOverflowsInARowAreEachCaught) {
  // The first must leave the stack able to report (and the guard to catch)
  // the next.
  SKIP_WHEN_EMULATED("the emulator reports a stack overflow as an access violation and dies of a second one");
  RunCases({{Overflow, EXCEPTION_STACK_OVERFLOW},
            {Overflow, EXCEPTION_STACK_OVERFLOW},
            {WriteThroughNull, EXCEPTION_ACCESS_VIOLATION}},
           true);
}

TEST_F(FaultGuardTest, FaultsInARowAndNormalCallsBetweenThem) {
  for (int i = 0; i < 20; ++i) {
    long result = 0;
    EXPECT_FALSE(Run(WriteThroughNull, &result, nullptr));
    EXPECT_TRUE(Run(ReturnArgument, &result, nullptr, reinterpret_cast<void*>(i)));
    EXPECT_EQ(i, result);
  }
}

TEST_F(FaultGuardTest, TheForeignCodesOwnHandlerHasTheFirstSay) {
  // It handles the fault itself: the call goes on and returns normally.
  g_ownHandlerResolves = true;
  long result = 0;
  EXPECT_TRUE(Run(FaultUnderOwnRecord, &result, nullptr));
  EXPECT_EQ(11, result);
  EXPECT_EQ(1, g_ownHandlerCalls);

  // It passes the fault on: the guard ends the call and unlinks the record
  // the foreign code left on the chain.
  g_ownHandlerResolves = false;
  g_ownHandlerCalls = 0;
  DWORD code = 0;
  EXPECT_FALSE(Run(FaultUnderOwnRecord, &result, &code));
  EXPECT_TRUE(CodesMatch(EXCEPTION_ACCESS_VIOLATION, code)) << std::hex << code;
  EXPECT_EQ(1, g_ownHandlerCalls);
}

TEST_F(FaultGuardTest, AChainTheForeignCodeBrokeStillEndsAtTheGuard) {
  // Records before the break keep their say and are unwound; what lies past
  // it is neither called nor unwound.
  const struct {
    Breakage breakage;
    bool ownResolves;
    bool completes;
    int ownCalls;
    int ownUnwinds;
  } cases[] = {
      {kHeadOffTheStack, false, false, 0, 0},  {kHeadMisaligned, false, false, 0, 0},
      {kOwnRecordLoops, false, false, 1, 1},   {kOwnRecordLeadsOff, false, false, 1, 1},
      {kOwnRecordLoops, true, true, 1, 0},     {kOwnRecordLeadsOff, true, true, 1, 0},
  };
  for (const auto& c : cases) {
    g_ownHandlerResolves = c.ownResolves;
    g_ownHandlerCalls = g_ownUnwinds = 0;
    long result = 0;
    DWORD code = 0;
    EXPECT_EQ(c.completes, Run(FaultUnderOwnRecord, &result, &code, reinterpret_cast<void*>(c.breakage)))
        << c.breakage;
    EXPECT_EQ(c.completes, code == 0) << c.breakage;
    if (c.completes) EXPECT_EQ(11, result) << c.breakage;
    EXPECT_EQ(c.ownCalls, g_ownHandlerCalls) << c.breakage;
    EXPECT_EQ(c.ownUnwinds, g_ownUnwinds) << c.breakage;
  }
  EXPECT_EQ(reinterpret_cast<void*>(-1), g_recordOffTheStack.next);
}

TEST_F(FaultGuardTest, ForeignFramesAreUnwoundAndAFaultWhileUnwindingIsContained) {
  // What the termination code does when the guard unwinds the frame: nothing
  // special, fault, throw (an overflow: below). The first exception is the
  // one reported.
  const GuardedFunction unwindRuns[] = {nullptr, WriteThroughNull, ThrowUncaught};
  for (GuardedFunction runs : unwindRuns) {
    g_ownUnwindRuns = runs;
    g_ownUnwinds = 0;
    long result = 0;
    DWORD code = 0;
    EXPECT_FALSE(Run(FaultUnderOwnRecord, &result, &code));
    EXPECT_TRUE(CodesMatch(EXCEPTION_ACCESS_VIOLATION, code)) << std::hex << code;
    EXPECT_NE(0xE06D7363u, code);
    EXPECT_EQ(1, g_ownUnwinds);
  }
  // A guarded call afterwards is an ordinary one.
  g_ownUnwindRuns = nullptr;
  long result = 0;
  EXPECT_TRUE(Run(ReturnArgument, &result, nullptr, reinterpret_cast<void*>(5)));
  EXPECT_EQ(5, result);
}

TEST_F(FaultGuardTest, AnInnerGuardCatchesItsOwnFaultOnly) {
  long result = 0;
  EXPECT_TRUE(Run(NestedFault, &result, nullptr, reinterpret_cast<void*>(&WriteThroughNull)));
  EXPECT_TRUE(CodesMatch(EXCEPTION_ACCESS_VIOLATION, static_cast<DWORD>(result))) << std::hex << result;
  EXPECT_TRUE(Run(NestedFault, &result, nullptr, reinterpret_cast<void*>(&ReturnArgument)));
  EXPECT_EQ(100, result);
}
// Kept apart from the case above: under emulation a stack overflow can kill
// the process, and with it every case after it.
TEST_F(FaultGuardTest, AnOverflowWhileUnwindingIsContained) {
  SKIP_WHEN_EMULATED("the emulator can die of a stack overflow");
  g_ownUnwindRuns = Overflow;
  long result = 0;
  DWORD code = 0;
  EXPECT_FALSE(Run(FaultUnderOwnRecord, &result, &code));
  EXPECT_EQ(EXCEPTION_ACCESS_VIOLATION, code);
  EXPECT_EQ(1, g_ownUnwinds);
}
}  // namespace
