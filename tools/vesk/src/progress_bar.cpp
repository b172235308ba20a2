#include "progress_bar.h"

#include <unistd.h>

#include <cstdio>

#include "console.h"

namespace vesk {

namespace {

constexpr uint64_t kShownAbove = 64ull << 20;
constexpr int kWidth = 40;

}  // namespace

ProgressBar::ProgressBar(std::string label, uint64_t total)
    : label_(std::move(label)), total_(total), shown_(total > kShownAbove && ShowsProgress() && isatty(STDERR_FILENO)) {}

ProgressBar::~ProgressBar() {
    if (shown_ && lastPercent_ >= 0) std::fputc('\n', stderr);
}

void ProgressBar::Update(uint64_t done) {
    if (!shown_) return;
    int percent = static_cast<int>(done * 100 / total_);
    if (percent == lastPercent_) return;
    lastPercent_ = percent;
    int filled = percent * kWidth / 100;
    std::fprintf(stderr, "\r%s [%.*s%*s] %3d%%", label_.c_str(), filled,
                 "########################################", kWidth - filled, "", percent);
    std::fflush(stderr);
}

}  // namespace vesk
