// A progress bar on stderr for long copies; silent unless stderr is a
// terminal, the copy is large enough to take a while and --quiet was not given.
#pragma once

#include <cstdint>
#include <string>

namespace vesk {

class ProgressBar {
public:
    ProgressBar(std::string label, uint64_t total);
    ~ProgressBar();
    void Update(uint64_t done);

private:
    std::string label_;
    uint64_t total_;
    bool shown_;
    int lastPercent_ = -1;
};

}  // namespace vesk
