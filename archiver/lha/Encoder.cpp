#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>

#include "archiver/lha/BlockWriter.h"
#include "archiver/lha/Codec.h"
#include "archiver/lha/Crc16.h"

namespace vask::lha {
namespace {

// How each method parses. -lh7-, the default, must stay within about one and a half times the time of a
// deflate encoder's default level: it uses lazy matching with long chains, priced by codes rebuilt from the
// open block at every chunk, and looks ahead after matches of any length (searching stops only at the longest
// match). -lh5- and -lh6- weigh every position of a segment by estimated bits (optimal parsing, two passes),
// which saves 2-3 % on text and about 2 % on binaries against lazy matching, at about three times its time
// (some 10 MB/s).
struct SearchParams {
    bool optimal;
    int max_chain;    // candidates looked at per position
    int nice_length;  // a match this long is taken at once, without weighing alternatives
    int lazy_steps;   // lazy matching: how many bytes to look ahead for a better match
};

SearchParams ParamsFor(Method m) {
    switch (m) {
        case Method::kLh5:
        case Method::kLh6:
            return {true, 64, 64, 0};
        default:
            return {false, 128, 256, 2};
    }
}

constexpr int kHashBits = 16;
// Positions weighed together by the parser: long enough that segment edges cost next to nothing.
constexpr int kSpan = 4096;

struct Candidate {
    int len;
    uint32_t dist;
};

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
          full_capacity_(2 * dict_size_ + kMaxMatch + 8),
          capacity_(InitialCapacity(full_capacity_, options.size_hint)),
          hash_bits_(HashBits(options.size_hint)),
          window_(capacity_ + 16, 0),
          prev_(capacity_, -1),
          head_(size_t{1} << hash_bits_, -1),
          head3_(size_t{1} << hash_bits_, -1),
          blocks_(m, out),
          first_(kSpan + 1),
          cost_(kSpan + 1),
          step_len_(kSpan + 1),
          step_dist_(kSpan + 1) {
        candidates_.reserve(kSpan * 4);
    }

    Result<EncodeResult> RunOptimal();
    Result<EncodeResult> RunLazy();
    // True (and result marked as not shrunk) once the output has reached options_.stop_after.
    bool PastStopLimit(uint64_t& checked_at, EncodeResult& result);
    // Flushes the last block and the bit stream, and fills in the sizes and CRC.
    Result<EncodeResult> Finish(EncodeResult result);

  private:
    // A small input gets a window and hash tables of its own size: setting up the full ones (over a
    // megabyte, all of it written) cost more than compressing a file of a few hundred bytes. An input that
    // turns out larger than announced grows the window to full size in Fill.
    static int32_t InitialCapacity(int32_t full, uint64_t hint) {
        if (hint == 0 || hint >= static_cast<uint64_t>(full)) return full;
        return static_cast<int32_t>(std::max<uint64_t>(hint + 1, 1024));
    }
    // Twice as many buckets as positions keeps chains as short as with the full table.
    static int HashBits(uint64_t hint) {
        if (hint == 0) return kHashBits;
        return std::clamp(static_cast<int>(std::bit_width(hint)) + 1, 10, kHashBits);
    }

    // Chains link positions with equal 4-byte hashes; the latest position of each 3-byte hash is kept apart,
    // so that short close matches are found without walking chains full of them.
    uint32_t Hash4(int32_t pos) const {
        uint32_t v;
        std::memcpy(&v, &window_[pos], 4);
        return (v * 2654435761u) >> (32 - hash_bits_);
    }
    uint32_t Hash3(int32_t pos) const {
        uint32_t v = window_[pos] << 16 | window_[pos + 1] << 8 | window_[pos + 2];
        return (v * 2246822519u) >> (32 - hash_bits_);
    }
    void Insert(int32_t pos) {
        head3_[Hash3(pos)] = pos;
        if (end_ - pos >= 4) {
            uint32_t h = Hash4(pos);
            prev_[pos] = head_[h];
            head_[h] = pos;
        } else {
            prev_[pos] = -1;
        }
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
    // Inserts pos and lists the matches that improve on the length found so far, closest first (so both
    // length and distance grow along the list). Returns their number.
    int CollectMatches(int32_t pos, int limit, Candidate* out);
    // Reads ahead until lookahead bytes follow pos_ or the input ends, sliding the window when it is full.
    Status Fill(int32_t lookahead);
    // The candidate at pos that saves most bits against literals (len 0 when none saves any).
    Candidate Choose(int32_t pos, int32_t* gain);
    // The least-bits path through window_[base, base + span) under price, into path_ (end points, last
    // first).
    void FindPath(int32_t base, int span, const Prices& price);
    // Chooses literals and matches for window_[base, stop) by least estimated bits and emits them.
    void Parse(int32_t base, int32_t stop);

    ByteSource& source_;
    BitWriter& out_;
    EncoderOptions options_;
    SearchParams params_;
    uint32_t dict_size_;
    uint32_t max_dist_;
    int32_t full_capacity_;
    int32_t capacity_;
    int hash_bits_;
    std::vector<uint8_t> window_;
    std::vector<int32_t> prev_;
    std::vector<int32_t> head_;
    std::vector<int32_t> head3_;
    BlockWriter blocks_;
    int32_t pos_ = 0;
    int32_t end_ = 0;
    std::vector<uint32_t> first_;  // per position of a segment: where its candidates start
    std::vector<Candidate> candidates_;
    std::vector<uint32_t> cost_;  // least bits to reach each position of the segment
    std::vector<uint16_t> step_len_;
    std::vector<uint32_t> step_dist_;
    std::vector<int> path_;
    int32_t inserted_ = 0;  // positions below this are in the hash tables
    bool eof_ = false;
    uint64_t total_in_ = 0;
    uint16_t crc_ = 0;
};

int Compressor::CollectMatches(int32_t pos, int limit, Candidate* out) {
    const int32_t near = head3_[Hash3(pos)];
    int32_t candidate = end_ - pos >= 4 ? head_[Hash4(pos)] : -1;
    Insert(pos);
    int n = 0;
    int best = kMinMatch - 1;
    int chain = params_.max_chain;
    int32_t lowest = pos - static_cast<int32_t>(max_dist_);
    if (near >= 0 && near >= lowest && window_[near] == window_[pos] &&
        window_[near + 1] == window_[pos + 1] && window_[near + 2] == window_[pos + 2]) {
        best = MatchLength(near, pos, limit);
        out[n++] = {best, static_cast<uint32_t>(pos - near)};
        if (best >= params_.nice_length || best >= limit) return n;
    }
    while (candidate >= 0 && candidate >= lowest && chain-- > 0) {
        if (window_[candidate + best] == window_[pos + best] && window_[candidate] == window_[pos]) {
            int len = MatchLength(candidate, pos, limit);
            if (len > best) {
                best = len;
                out[n++] = {len, static_cast<uint32_t>(pos - candidate)};
                if (len >= params_.nice_length || len >= limit) break;
            }
        }
        candidate = prev_[candidate];
    }
    return n;
}

void Compressor::FindPath(int32_t base, int span, const Prices& price) {
    cost_[0] = 0;
    std::fill(cost_.begin() + 1, cost_.begin() + span + 1, UINT32_MAX);
    for (int k = 0; k < span; ++k) {
        const uint32_t here = cost_[k];
        uint32_t lit = here + price.Literal(window_[base + k]);
        if (lit < cost_[k + 1]) {
            cost_[k + 1] = lit;
            step_len_[k + 1] = 1;
        }
        // Every length up to each candidate's is possible; the closest candidate reaching it is the cheapest.
        int len = kMinMatch;
        const int room = span - k;
        for (uint32_t j = first_[k]; j < first_[k + 1]; ++j) {
            const Candidate& c = candidates_[j];
            const int top = std::min(c.len, room);
            const uint32_t dist_cost = here + price.p[BitLength(c.dist - 1)];
            for (; len <= top; ++len) {
                uint32_t v = dist_cost + price.c[256 + len - kMinMatch];
                if (v < cost_[k + len]) {
                    cost_[k + len] = v;
                    step_len_[k + len] = static_cast<uint16_t>(len);
                    step_dist_[k + len] = c.dist;
                }
            }
        }
    }
    path_.clear();
    for (int k = span; k > 0; k -= step_len_[k])
        path_.push_back(k);
}

void Compressor::Parse(int32_t base, int32_t stop) {
    const int span = stop - base;
    FindPath(base, span, blocks_.prices());
    if (span > 0) {
        // The last block's prices may not fit this stretch of data: price again with what the first path
        // used together with the symbols not yet written, then search once more. Worth about 1 % on binaries.
        std::vector<uint32_t> c_freq(kNumC, 0), p_freq(blocks_.num_position_codes(), 0);
        for (int k : path_) {
            int len = step_len_[k];
            if (len == 1) {
                ++c_freq[window_[base + k - 1]];
            } else {
                ++c_freq[256 + len - kMinMatch];
                ++p_freq[BitLength(step_dist_[k] - 1)];
            }
        }
        blocks_.AddPending(c_freq, p_freq);
        Prices local = blocks_.PricesFor(c_freq, p_freq);
        FindPath(base, span, local);
    }
    for (size_t i = path_.size(); i-- > 0;) {
        int k = path_[i];
        int len = step_len_[k];
        if (len == 1)
            blocks_.Literal(window_[base + k - 1]);
        else
            blocks_.Match(len, step_dist_[k] - 1);
    }
}

Status Compressor::Fill(int32_t lookahead) {
    while (!eof_ && end_ - pos_ < lookahead) {
        if (end_ == capacity_ && capacity_ < full_capacity_) {
            capacity_ = full_capacity_;
            window_.resize(capacity_ + 16, 0);
            prev_.resize(capacity_, -1);
        } else if (end_ == capacity_) {
            // Keep one dictionary of history before pos_ and shift everything down.
            int32_t shift = pos_ - static_cast<int32_t>(dict_size_);
            std::memmove(window_.data(), window_.data() + shift, end_ - shift);
            std::memmove(prev_.data(), prev_.data() + shift, (end_ - shift) * sizeof(int32_t));
            for (int32_t& p : prev_)
                p = p >= shift ? p - shift : -1;
            for (int32_t& h : head_)
                h = h >= shift ? h - shift : -1;
            for (int32_t& h : head3_)
                h = h >= shift ? h - shift : -1;
            pos_ -= shift;
            end_ -= shift;
            inserted_ -= shift;
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

Candidate Compressor::Choose(int32_t pos, int32_t* gain) {
    Candidate found[kMaxMatch];
    Candidate best{0, 0};
    *gain = 0;
    if (end_ - pos < kMinMatch) return best;
    int n = CollectMatches(pos, std::min(kMaxMatch, end_ - pos), found);
    const Prices& price = blocks_.prices();
    // Bits saved against sending the covered bytes as literals; the list grows in length, so the literal
    // sum grows along with it.
    int32_t literals = 0;
    int covered = 0;
    for (int i = 0; i < n; ++i) {
        for (; covered < found[i].len; ++covered)
            literals += static_cast<int32_t>(price.Literal(window_[pos + covered]));
        int32_t g = literals - static_cast<int32_t>(price.Match(found[i].len, found[i].dist - 1));
        if (g > *gain) {
            *gain = g;
            best = found[i];
        }
    }
    return best;
}

Result<EncodeResult> Compressor::RunLazy() {
    EncodeResult result;
    blocks_.set_live_prices(true);
    uint64_t checked_at = 0;
    for (;;) {
        if (Status s = Fill(kMaxMatch + 4); !s) return s;
        if (pos_ >= end_) break;
        int32_t gain;
        Candidate cur = pos_ >= inserted_ ? Choose(pos_, &gain) : Candidate{0, 0};
        if (pos_ >= inserted_)
            inserted_ = pos_ + 1;
        else
            gain = 0;
        if (cur.len == 0) {
            blocks_.Literal(window_[pos_++]);
            continue;
        }
        // Look one and two bytes ahead: a literal and then a match that saves more may beat this match.
        for (int step = 0; step < params_.lazy_steps && cur.len < params_.nice_length; ++step) {
            if (Status s = Fill(kMaxMatch + 4); !s) return s;
            int32_t next_gain;
            Candidate next = Choose(pos_ + 1, &next_gain);
            inserted_ = std::max(inserted_, pos_ + 2);
            if (next.len == 0 || next_gain <= gain) break;
            blocks_.Literal(window_[pos_++]);
            cur = next;
            gain = next_gain;
        }
        blocks_.Match(cur.len, cur.dist - 1);
        for (int32_t p = std::max(inserted_, pos_ + 1); p < pos_ + cur.len; ++p)
            if (end_ - p >= kMinMatch) Insert(p);
        inserted_ = std::max(inserted_, pos_ + cur.len);
        pos_ += cur.len;
        if (PastStopLimit(checked_at, result)) break;
    }
    return Finish(result);
}

bool Compressor::PastStopLimit(uint64_t& checked_at, EncodeResult& result) {
    // Looked at every 64 KiB of output: a member that will not shrink is given up early and stored instead.
    if (!options_.stop_after || out_.BytesOut() < checked_at + (1u << 16)) return false;
    checked_at = out_.BytesOut();
    if (checked_at < options_.stop_after) return false;
    result.shrunk = false;
    result.complete = false;
    return true;
}

Result<EncodeResult> Compressor::Finish(EncodeResult result) {
    if (result.shrunk) blocks_.Flush();
    if (Status s = out_.Finish(); !s) return s;
    result.original_size = total_in_;
    result.packed_size = out_.BytesOut();
    result.crc = crc_;
    if (options_.stop_after && result.packed_size >= options_.stop_after) result.shrunk = false;
    return result;
}

Result<EncodeResult> Compressor::RunOptimal() {
    EncodeResult result;
    uint64_t checked_at = 0;
    Candidate found[kMaxMatch];
    for (;;) {
        if (Status s = Fill(kSpan + kMaxMatch + 2); !s) return s;
        if (pos_ >= end_) break;
        const int32_t base = pos_;
        const int32_t seg_end = std::min(end_, base + kSpan);
        candidates_.clear();
        Candidate long_match{0, 0};
        int32_t i = base;
        for (; i < seg_end; ++i) {
            first_[i - base] = static_cast<uint32_t>(candidates_.size());
            if (end_ - i < kMinMatch) continue;
            int n = CollectMatches(i, std::min(kMaxMatch, end_ - i), found);
            if (n > 0 && found[n - 1].len >= params_.nice_length) {
                long_match = found[n - 1];
                break;
            }
            candidates_.insert(candidates_.end(), found, found + n);
        }
        first_[i - base] = static_cast<uint32_t>(candidates_.size());
        Parse(base, i);
        pos_ = i;
        if (long_match.len > 0) {
            // Long matches are taken as they come: weighing them gains nothing and costs time.
            blocks_.Match(long_match.len, long_match.dist - 1);
            for (int32_t p = pos_ + 1; p < pos_ + long_match.len; ++p)
                if (end_ - p >= kMinMatch) Insert(p);
            pos_ += long_match.len;
        }
        if (PastStopLimit(checked_at, result)) break;
    }
    return Finish(result);
}

}  // namespace

Result<EncodeResult> Encode(Method m, ByteSource& source, ByteSink& sink, const EncoderOptions& options) {
    if (m != Method::kLh5 && m != Method::kLh6 && m != Method::kLh7)
        return Status::Error(EINVAL, "", "encode: method " + MethodId(m));
    BitWriter out(sink);
    auto compressor = std::make_unique<Compressor>(m, source, out, options);
    return ParamsFor(m).optimal ? compressor->RunOptimal() : compressor->RunLazy();
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
