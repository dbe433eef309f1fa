#include "device/link/detail/deframer.h"

#include <cstring>

namespace brenvik::detail {

void Deframer::append(std::string_view bytes)
{
    compact();
    buf_.append(bytes.data(), bytes.size());
}

void Deframer::compact()
{
    if (head_ == 0) return;
    if (head_ == buf_.size()) {
        buf_.clear();
        scan_ = scan_ >= head_ ? scan_ - head_ : 0;
        head_ = 0;
        return;
    }
    if (head_ < 4096 || head_ < buf_.size() / 2) return;
    buf_.erase(0, head_);
    scan_ -= head_;
    head_ = 0;
}

bool Deframer::binary_pending() const
{
    if (st_ != St::Hunt) return true;
    return std::memchr(buf_.data() + head_, DLE, buf_.size() - head_) != nullptr;
}

void Deframer::consume(std::size_t n)
{
    if (st_ != St::Hunt) return;
    head_ += std::min(n, buf_.size() - head_);
}

void Deframer::clear()
{
    buf_.clear();
    head_ = scan_ = 0;
    st_ = St::Hunt;
    cur_.clear();
}

Frame Deframer::finish_frame()
{
    Frame f;
    cur_.push_back(DLE);
    cur_.push_back(ETX);
    const std::size_t n = cur_.size();
    if (n < 7) {
        f.status = FrameStatus::Empty;
    } else if (cur_[1] != expanded_id_ && cur_[2] != n - 6) {
        f.status = FrameStatus::BadSize;
    } else {
        f.status = FrameStatus::Ok;
    }
    f.packet.swap(cur_);
    cur_.clear();
    return f;
}

bool Deframer::next(Frame& out)
{
    const char* data = buf_.data();
    const std::size_t size = buf_.size();
    for (;;) {
        switch (st_) {
        case St::Hunt: {
            const void* p = std::memchr(data + head_, DLE, size - head_);
            if (!p) return false;
            head_ = static_cast<std::size_t>(static_cast<const char*>(p) - data);
            scan_ = head_ + 1;
            cur_.clear();
            cur_.push_back(DLE);
            st_ = St::Id;
            break;
        }
        case St::Id: {
            if (scan_ >= size) return false;
            std::uint8_t b = static_cast<std::uint8_t>(data[scan_++]);
            if (b == ETX) {
                // A lone DLE ETX: the tail of a frame we never saw begin.
                head_ = scan_;
                st_ = St::Hunt;
                break;
            }
            cur_.push_back(b);
            st_ = St::Body;
            break;
        }
        case St::Body: {
            const void* p = std::memchr(data + scan_, DLE, size - scan_);
            std::size_t end = p ? static_cast<std::size_t>(static_cast<const char*>(p) - data) : size;
            if (cur_.size() + (end - scan_) > kMaxFrame) {
                // Longer than any packet: report it and look for the next start.
                out.status = FrameStatus::Broken;
                out.packet.assign(cur_.begin(), cur_.begin() + std::min<std::size_t>(cur_.size(), 3));
                cur_.clear();
                head_ = end;
                st_ = St::Hunt;
                return true;
            }
            cur_.insert(cur_.end(), reinterpret_cast<const std::uint8_t*>(data + scan_),
                        reinterpret_cast<const std::uint8_t*>(data + end));
            scan_ = end;
            if (!p) return false;
            ++scan_;
            st_ = St::BodyDle;
            break;
        }
        case St::BodyDle: {
            if (scan_ >= size) return false;
            std::uint8_t b = static_cast<std::uint8_t>(data[scan_]);
            if (b == DLE) {
                cur_.push_back(DLE);
                ++scan_;
                st_ = St::Body;
                break;
            }
            if (b == ETX) {
                ++scan_;
                head_ = scan_;
                st_ = St::Hunt;
                out = finish_frame();
                return true;
            }
            // DLE followed by neither DLE nor ETX: the frame was cut short and
            // this DLE begins the next one.
            out.status = FrameStatus::Broken;
            out.packet.swap(cur_);
            head_ = scan_ - 1;
            scan_ = head_ + 1;
            cur_.clear();
            cur_.push_back(DLE);
            st_ = St::Id;
            return true;
        }
        }
    }
}

} // namespace brenvik::detail
