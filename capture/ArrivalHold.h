#pragma once

#include <functional>
#include <utility>

namespace kvd {

// Arrivals wait while a hold is taken: a dialog or a question is open, a write
// runs while the event loop turns, or an arrival is being dealt with, so that
// no question is stacked on another and nothing the user is answering about
// changes under them. Holds nest; when the last one ends, `released` runs.
class ArrivalHold {
public:
    class [[nodiscard]] Taken {
    public:
        explicit Taken(ArrivalHold& hold) : hold_(hold) { ++hold_.count_; }
        ~Taken() {
            if (--hold_.count_ == 0 && hold_.released_)
                hold_.released_();
        }
        Taken(const Taken&) = delete;
        Taken& operator=(const Taken&) = delete;

    private:
        ArrivalHold& hold_;
    };

    Taken take() { return Taken(*this); }
    bool taken() const { return count_ > 0; }
    void whenReleased(std::function<void()> released) { released_ = std::move(released); }

private:
    int count_ = 0;
    std::function<void()> released_;
};

} // namespace kvd
