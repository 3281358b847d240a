#pragma once

#include <string>
#include <utility>

namespace kvd {

// The result of an operation that can fail: success, or a failure with a reason a
// person can read ("Permission denied", "no such device"). Every fallible step of
// the program reports through this type; nothing throws across these interfaces.
class Outcome {
public:
    static Outcome success() { return Outcome{}; }
    static Outcome failure(std::string reason) { return Outcome{std::move(reason), false}; }
    // A failure that may have left what it was changing damaged (a file written
    // over in place, cut short).
    static Outcome damaged(std::string reason) {
        Outcome outcome{std::move(reason), false};
        outcome.damaged_ = true;
        return outcome;
    }

    // A failure to put a finished file in its place that kept it whole under
    // another name, which the reason gives: what it holds is not lost.
    static Outcome keptAside(std::string reason) {
        Outcome outcome{std::move(reason), false};
        outcome.keptAside_ = true;
        return outcome;
    }

    bool ok() const { return ok_; }
    explicit operator bool() const { return ok_; }
    const std::string& reason() const { return reason_; }
    bool leftDamaged() const { return damaged_; }
    bool leftKeptAside() const { return keptAside_; }

private:
    Outcome() = default;
    Outcome(std::string reason, bool ok) : reason_(std::move(reason)), ok_(ok) {}

    std::string reason_;
    bool ok_ = true;
    bool damaged_ = false;
    bool keptAside_ = false;
};

} // namespace kvd
