// Failing platform calls. Every simulated platform function begins with one
// counting point, a Call: the machine counts the calls the stub makes, keeps
// their names in order, and fails the chosen ones the way each call fails on
// Windows (one table in faults.cpp says how, or why a call cannot fail).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

namespace sim::faults {

// The platform calls made since the reset, by name, in call order. Calls the
// simulator makes inside another call (the messages CreateWindowExA sends,
// the file GetTempFileNameA creates) are the platform's own and not counted;
// the calls of the program's window procedures are.
const std::vector<std::string>& Calls();
// Whether the call can be made to fail; false for calls that cannot fail on
// Windows (lstrlenA, GetCurrentProcess, PeekMessageA, releasing a handle).
bool CanFail(const std::string& call);
// How the call fails, or why it cannot.
std::string HowItFails(const std::string& call);

// Call number k since the reset fails (1 = the first).
void FailCall(uint64_t k);
// The nth call of this name from now on fails (1 = the next one); or every
// one of them. Naming a call that cannot fail is a mistake (logic_error).
void FailNthCallOf(const std::string& call, int n);
void FailEveryCallOf(const std::string& call);
// The calls made to fail so far, in order.
const std::vector<std::string>& Failed();
// The error code the last failed call set (GetLastError's), 0 before any.
uint32_t LastError();

// Runs before each call the program makes, with the call's name: another
// process acting at that moment. Cleared by the reset.
void BeforeEachCall(std::function<void(const std::string& call)> action);

// A run that makes more calls than this is taken to spin for ever: the next
// call throws Hang. Default: no limit.
void SetCallLimit(uint64_t calls);

// The counting point, first in every simulated platform function:
//     const sim::faults::Call call(__func__);
//     if (call.Fails()) return call.Result<HANDLE>();
class Call {
public:
    explicit Call(const char* name);
    ~Call();
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    bool Fails() const { return fails_; }
    // What the call returns when it fails (its table entry, Returns only).
    template <typename T>
    T Result() const {
        if constexpr (std::is_pointer_v<T>) return reinterpret_cast<T>(result_);
        else return static_cast<T>(result_);
    }

private:
    bool fails_ = false;
    intptr_t result_ = 0;
};

// Program code run from inside a platform call (a window, dialog or timer
// procedure): the calls it makes are the program's again, and counted.
class ProgramCode {
public:
    ProgramCode();
    ~ProgramCode();
    ProgramCode(const ProgramCode&) = delete;
    ProgramCode& operator=(const ProgramCode&) = delete;

private:
    int savedDepth_;
};

}  // namespace sim::faults
