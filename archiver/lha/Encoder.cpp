#include <algorithm>
#include <cstring>
#include <memory>

#include "archiver/lha/BlockCodes.h"
#include "archiver/lha/Codec.h"
#include "archiver/lha/Crc16.h"

namespace vask::lha {
namespace {

// Match-search effort per method. The larger dictionaries get longer chains: text finds its best matches far
// back, and the time per byte still stays close to a deflate encoder's default level.
struct SearchParams {
    int max_chain;
    int nice_length;  // stop searching once a match this long is found
    int max_lazy;     // do not look for a better match after one this long
    int good_length;  // search a quarter of the chain after a match this long
};

SearchParams ParamsFor(Method m) {
    switch (m) {
        case Method::kLh5:
            return {96, 128, 32, 16};
        case Method::kLh6:
            return {128, 160, 48, 24};
        default:
            return {160, 192, 64, 32};
    }
}

// A length-3 match this far back costs more bits than three literals.
constexpr uint32_t kTooFarFor3 = 4096;
constexpr size_t kBlockSymbols = 0x7FF0;
constexpr int kHashBits = 16;

inline int BitLength(uint32_t v) {
    return v == 0 ? 0 : 32 - __builtin_clz(v);
}

class BlockBuilder {
  public:
    BlockBuilder(Method m, BitWriter& out)
        : out_(out), num_p_(NumPositionCodes(m)), p_bits_(PositionBits(m)), c_freq_(kNumC), p_freq_(num_p_) {
        symbols_.reserve(kBlockSymbols);
    }
    void Literal(uint8_t byte) {
        symbols_.push_back(byte);
        ++c_freq_[byte];
        if (symbols_.size() >= kBlockSymbols) Flush();
    }
    // dist_code is the distance minus one.
    void Match(int length, uint32_t dist_code) {
        uint32_t c = 256 + length - kMinMatch;
        symbols_.push_back(c | dist_code << 16);
        ++c_freq_[c];
        ++p_freq_[BitLength(dist_code)];
        if (symbols_.size() >= kBlockSymbols) Flush();
    }
    void Flush();

  private:
    static int OnlySymbol(const std::vector<uint32_t>& freq) {
        for (size_t i = 0; i < freq.size(); ++i)
            if (freq[i]) return static_cast<int>(i);
        return 0;
    }

    BitWriter& out_;
    int num_p_;
    int p_bits_;
    std::vector<uint32_t> symbols_;
    std::vector<uint32_t> c_freq_;
    std::vector<uint32_t> p_freq_;
};

void BlockBuilder::Flush() {
    if (symbols_.empty()) return;
    out_.Put(static_cast<uint32_t>(symbols_.size()), 16);

    std::vector<uint8_t> c_len = BuildCodeLengths(c_freq_);
    std::vector<uint16_t> c_code = CanonicalCodes(c_len);
    if (std::all_of(c_len.begin(), c_len.end(), [](uint8_t l) { return l == 0; })) {
        // One symbol in the whole block: empty T table, then the C table in its single-symbol form.
        out_.Put(0, kTBits);
        out_.Put(0, kTBits);
        out_.Put(0, kCBits);
        out_.Put(static_cast<uint32_t>(OnlySymbol(c_freq_)), kCBits);
    } else {
        std::vector<TStep> steps = CLengthSteps(c_len);
        std::vector<uint32_t> t_freq(kNumT, 0);
        for (const TStep& s : steps)
            ++t_freq[s.symbol];
        std::vector<uint8_t> t_len = BuildCodeLengths(t_freq);
        std::vector<uint16_t> t_code = CanonicalCodes(t_len);
        WritePtLengths(out_, t_len, kTBits, 3, OnlySymbol(t_freq));
        size_t n = c_len.size();
        while (n > 0 && c_len[n - 1] == 0)
            --n;
        out_.Put(static_cast<uint32_t>(n), kCBits);
        for (const TStep& s : steps) {
            out_.Put(t_code[s.symbol], t_len[s.symbol]);
            if (s.extra_bits) out_.Put(s.extra, s.extra_bits);
        }
    }

    std::vector<uint8_t> p_len = BuildCodeLengths(p_freq_);
    std::vector<uint16_t> p_code = CanonicalCodes(p_len);
    WritePtLengths(out_, p_len, p_bits_, -1, OnlySymbol(p_freq_));

    for (uint32_t s : symbols_) {
        uint32_t c = s & 0xFFFF;
        out_.Put(c_code[c], c_len[c]);
        if (c >= 256) {
            uint32_t d = s >> 16;
            int p = BitLength(d);
            out_.Put(p_code[p], p_len[p]);
            if (p > 1) out_.Put(d, p - 1);  // Put keeps only the low p-1 bits: the top bit is implied
        }
    }
    symbols_.clear();
    std::fill(c_freq_.begin(), c_freq_.end(), 0);
    std::fill(p_freq_.begin(), p_freq_.end(), 0);
}

class Compressor {
  public:
    Compressor(Method m, ByteSource& source, BitWriter& out, const EncoderOptions& options)
        : source_(source),
          out_(out),
          options_(options),
          params_(ParamsFor(m)),
          dict_size_(1u << DictionaryBits(m)),
          // A distance of exactly the dictionary size is legal, but not every decoder gets it right.
          max_dist_(dict_size_ - 1),
          capacity_(2 * dict_size_ + kMaxMatch + 8),
          window_(capacity_ + 16, 0),
          prev_(capacity_, -1),
          head_(size_t{1} << kHashBits, -1),
          blocks_(m, out) {}

    Result<EncodeResult> Run();

  private:
    uint32_t Hash(int32_t pos) const {
        uint32_t v = window_[pos] << 16 | window_[pos + 1] << 8 | window_[pos + 2];
        return (v * 2654435761u) >> (32 - kHashBits);
    }
    void Insert(int32_t pos) {
        uint32_t h = Hash(pos);
        prev_[pos] = head_[h];
        head_[h] = pos;
    }
    int MatchLength(int32_t a, int32_t b, int limit) const {
        int len = 0;
        while (len + 8 <= limit) {
            uint64_t x, y;
            std::memcpy(&x, &window_[a + len], 8);
            std::memcpy(&y, &window_[b + len], 8);
            if (x != y) return len + (__builtin_ctzll(x ^ y) >> 3);
            len += 8;
        }
        while (len < limit && window_[a + len] == window_[b + len])
            ++len;
        return len;
    }
    // Longest match for pos better than best_len; returns its length (or best_len) and sets dist.
    int FindMatch(int32_t pos, int32_t candidate, int best_len, uint32_t& dist) const;
    Status Fill();

    ByteSource& source_;
    BitWriter& out_;
    EncoderOptions options_;
    SearchParams params_;
    uint32_t dict_size_;
    uint32_t max_dist_;
    int32_t capacity_;
    std::vector<uint8_t> window_;
    std::vector<int32_t> prev_;
    std::vector<int32_t> head_;
    BlockBuilder blocks_;
    int32_t pos_ = 0;
    int32_t end_ = 0;
    bool eof_ = false;
    uint64_t total_in_ = 0;
    uint16_t crc_ = 0;
};

int Compressor::FindMatch(int32_t pos, int32_t candidate, int best_len, uint32_t& dist) const {
    int limit = std::min(kMaxMatch, end_ - pos);
    if (best_len >= limit) return best_len;
    int chain = params_.max_chain;
    if (best_len >= params_.good_length) chain >>= 2;
    int32_t lowest = pos - static_cast<int32_t>(max_dist_);
    while (candidate >= 0 && candidate >= lowest && chain-- > 0) {
        if (window_[candidate + best_len] == window_[pos + best_len] && window_[candidate] == window_[pos]) {
            int len = MatchLength(candidate, pos, limit);
            if (len > best_len) {
                best_len = len;
                dist = static_cast<uint32_t>(pos - candidate);
                if (len >= params_.nice_length || len >= limit) break;
            }
        }
        candidate = prev_[candidate];
    }
    return best_len;
}

Status Compressor::Fill() {
    while (!eof_ && end_ - pos_ < kMaxMatch + 2) {
        if (end_ == capacity_) {
            // Keep one dictionary of history before pos_ and shift everything down.
            int32_t shift = pos_ - static_cast<int32_t>(dict_size_);
            std::memmove(window_.data(), window_.data() + shift, end_ - shift);
            std::memmove(prev_.data(), prev_.data() + shift, (end_ - shift) * sizeof(int32_t));
            for (int32_t& p : prev_)
                p = p >= shift ? p - shift : -1;
            for (int32_t& h : head_)
                h = h >= shift ? h - shift : -1;
            pos_ -= shift;
            end_ -= shift;
        }
        auto got = source_.Read(window_.data() + end_, capacity_ - end_);
        if (!got) return got.status();
        if (*got == 0) {
            eof_ = true;
            break;
        }
        crc_ = Crc16Update(crc_, window_.data() + end_, *got);
        total_in_ += *got;
        end_ += static_cast<int32_t>(*got);
    }
    return Status::Ok();
}

Result<EncodeResult> Compressor::Run() {
    EncodeResult result;
    int prev_len = kMinMatch - 1;
    uint32_t prev_dist = 0;
    bool pending = false;  // a literal at pos_ - 1 waits for the lazy decision
    uint64_t checked_at = 0;
    for (;;) {
        if (Status s = Fill(); !s) return s;
        if (pos_ >= end_) break;
        int cur_len = kMinMatch - 1;
        uint32_t cur_dist = 0;
        if (end_ - pos_ >= kMinMatch) {
            uint32_t h = Hash(pos_);
            int32_t candidate = head_[h];
            prev_[pos_] = candidate;
            head_[h] = pos_;
            if (prev_len < params_.max_lazy) {
                cur_len = FindMatch(pos_, candidate, std::max(prev_len, kMinMatch - 1), cur_dist);
                if (cur_len == kMinMatch && cur_dist > kTooFarFor3) cur_len = kMinMatch - 1;
                if (cur_len <= prev_len) cur_len = kMinMatch - 1;
            }
        }
        if (pending && prev_len >= kMinMatch && cur_len <= prev_len) {
            blocks_.Match(prev_len, prev_dist - 1);
            int32_t stop = pos_ - 1 + prev_len;
            for (int32_t p = pos_ + 1; p < stop; ++p)
                if (end_ - p >= kMinMatch) Insert(p);
            pos_ = stop;
            pending = false;
            prev_len = kMinMatch - 1;
        } else {
            if (pending) blocks_.Literal(window_[pos_ - 1]);
            pending = true;
            prev_len = cur_len;
            prev_dist = cur_dist;
            ++pos_;
        }
        if (options_.stop_after && out_.BytesOut() >= checked_at + (1u << 16)) {
            checked_at = out_.BytesOut();
            if (checked_at >= options_.stop_after) {
                result.shrunk = false;
                result.complete = false;
                break;
            }
        }
    }
    if (result.shrunk) {
        if (pending) blocks_.Literal(window_[pos_ - 1]);
        blocks_.Flush();
    }
    if (Status s = out_.Finish(); !s) return s;
    result.original_size = total_in_;
    result.packed_size = out_.BytesOut();
    result.crc = crc_;
    if (options_.stop_after && result.packed_size >= options_.stop_after) result.shrunk = false;
    return result;
}

}  // namespace

Result<EncodeResult> Encode(Method m, ByteSource& source, ByteSink& sink, const EncoderOptions& options) {
    if (m != Method::kLh5 && m != Method::kLh6 && m != Method::kLh7)
        return Status::Error(EINVAL, "", "encode: method " + MethodId(m));
    BitWriter out(sink);
    auto compressor = std::make_unique<Compressor>(m, source, out, options);
    return compressor->Run();
}

Result<EncodeResult> Store(ByteSource& source, ByteSink& sink) {
    EncodeResult result;
    std::vector<uint8_t> buffer(1 << 16);
    for (;;) {
        auto got = source.Read(buffer.data(), buffer.size());
        if (!got) return got.status();
        if (*got == 0) break;
        if (Status s = sink.Write(buffer.data(), *got); !s) return s;
        result.crc = Crc16Update(result.crc, buffer.data(), *got);
        result.original_size += *got;
    }
    result.packed_size = result.original_size;
    return result;
}

}  // namespace vask::lha
