#include "modemsim/output_stage.h"

#include <algorithm>
#include <utility>

namespace modemsim {

namespace {
constexpr uint64_t kDropGraceUs = 100'000;
}  // namespace

std::string Misheard(const std::string& bytes) {
  std::string out(bytes);
  for (char& c : out) c = char(0x80 | ((static_cast<unsigned char>(c) * 7 + 0x35) & 0x7F));
  return out;
}

std::string Garbage(size_t count, uint32_t& seed) {
  std::string out;
  out.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    seed = seed * 1103515245u + 12345u;
    unsigned b = (seed >> 16) & 0xFF;
    if (b < 0x80) b = (b & 1) ? 0 : (b | 0x80);
    out.push_back(char(b));
  }
  return out;
}

OutputStage::OutputStage(Clock& clock, Line& line, const Faults& faults)
    : clock_(clock), line_(line), faults_(faults) {}

OutputStage::~OutputStage() {
  if (waking_) clock_.Cancel(wake_);
}

void OutputStage::Put(const std::string& bytes, uint32_t rate) {
  if (dropped_ || bytes.empty()) return;
  const uint64_t now = clock_.NowUs();
  queue_.push_back({now + uint64_t(faults_.answerDelayMs) * 1000, bytes, rate});
  put_ += bytes.size();
  // Not at once: what is put at one moment leaves as one reply, cut as ordered.
  WakeAt(now);
}

void OutputStage::Clear() {
  queue_.clear();
  put_ = sent_;
  inPiece_ = 0;
  holdUntilUs_ = 0;
  if (waking_) clock_.Cancel(wake_);
  waking_ = false;
}

void OutputStage::ArmDrop(size_t afterBytes) {
  dropArmed_ = true;
  dropAt_ = put_ + afterBytes;
}

void OutputStage::WakeAt(uint64_t us) {
  const uint64_t now = clock_.NowUs();
  if (waking_) {
    if (wakeAtUs_ <= us) return;
    clock_.Cancel(wake_);
  }
  waking_ = true;
  wakeAtUs_ = us;
  wake_ = clock_.CallIn(us > now ? us - now : 0, [this] {
    waking_ = false;
    Pump();
  });
}

void OutputStage::Pump() {
  const uint64_t now = clock_.NowUs();
  while (!queue_.empty() && !dropped_) {
    if (holdUntilUs_ > now) return WakeAt(holdUntilUs_);
    Chunk& ch = queue_.front();
    if (ch.readyUs > now) return WakeAt(ch.readyUs);
    size_t n = ch.bytes.size();
    if (faults_.pieceBytes) n = std::min(n, faults_.pieceBytes - inPiece_);
    if (dropArmed_) n = size_t(std::min<uint64_t>(n, dropAt_ - sent_));
    if (n) {
      line_.Send(ch.bytes.substr(0, n), ch.rate);
      sent_ += n;
      ch.bytes.erase(0, n);
    }
    if (dropArmed_ && sent_ >= dropAt_) {
      // The line goes a moment after the last byte is through, so that a
      // program polling its port has read them: a hang-up discards unread input.
      dropped_ = true;
      queue_.clear();
      if (waking_) clock_.Cancel(wake_);
      waking_ = true;
      wake_ = clock_.CallIn(n * line_.ByteTimeUs() + kDropGraceUs, [this] {
        waking_ = false;
        line_.Drop();
        if (onDrop) onDrop();
      });
      return;
    }
    if (ch.bytes.empty()) queue_.pop_front();
    if (faults_.pieceBytes) {
      inPiece_ += n;
      if (inPiece_ >= faults_.pieceBytes) {
        // The gap is silence on the line: it starts when the piece is through.
        holdUntilUs_ = now + inPiece_ * line_.ByteTimeUs() + uint64_t(faults_.pieceGapMs) * 1000;
        inPiece_ = 0;
      }
    }
  }
  // The next reply starts a piece of its own.
  if (queue_.empty()) inPiece_ = 0;
}

}  // namespace modemsim
