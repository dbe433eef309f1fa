// Palettes: the octree quantiser, BuildPalette, ApplyPalette (with error
// diffusion), WebPalette and ChangePaletteSize.
#include "imaging/detail/image_object.h"

#include <algorithm>
#include <climits>
#include <memory>

namespace glimmerax {
namespace gdi = platform::gdi;

namespace {

using Rgb = std::array<std::uint8_t, 3>;

// An 8-way colour tree whose leaves gather the colours inserted; reduced by
// merging the lightest nodes into their parents until few enough hold pixels.
class OctreeQuantizer {
public:
    OctreeQuantizer(int colours, std::uint64_t pixels) : max_colours_(colours)
    {
        depth_ = colours <= 4 ? 2 : colours <= 16 ? 3 : colours <= 64 ? 4 : colours <= 256 ? 5 : 6;
        int b = 0;
        while (b < 64 && (pixels >> b)) ++b;
        for (int k = 0; k <= 8; ++k) weight_[k] = std::uint32_t(1) << std::clamp(32 - b - k, 0, 31);
        root_ = make(nullptr, 0, 128, 128, 128);
    }

    void Insert(int r, int g, int b)
    {
        if (live_ > 266817) prune_deepest();
        Node* n = root_;
        n->weight += weight_[0];
        for (int level = 1; level <= depth_; ++level) {
            int i = child_index(n, r, g, b);
            if (!n->child[i]) {
                int o = 128 >> level;
                n->child[i] = make(n, level, n->centre[0] + (i & 1 ? o : -o), n->centre[1] + (i & 2 ? o : -o),
                                   n->centre[2] + (i & 4 ? o : -o));
                n->child[i]->index_in_parent = i;
            }
            n = n->child[i];
            n->weight += weight_[level];
        }
        n->sum[0] += std::uint64_t(r), n->sum[1] += std::uint64_t(g), n->sum[2] += std::uint64_t(b);
        ++n->pixels;
    }

    // Merges until at most max_colours_ nodes hold pixels.
    void Reduce()
    {
        std::uint32_t min = 1;
        int count = count_pixels(root_);
        while (count > max_colours_) {
            std::uint32_t prune = min;
            min = UINT32_MAX;
            count = 0;
            reduce(root_, prune, &min, &count);
            if (min == UINT32_MAX) break;
        }
    }

    // Numbers the nodes holding pixels children first and gives their mean colours.
    std::vector<Rgb> Assign()
    {
        palette_.clear();
        assign(root_);
        return palette_;
    }

    int Nearest(int r, int g, int b) const
    {
        const Node* n = root_;
        for (;;) {
            const Node* c = n->child[child_index(n, r, g, b)];
            if (!c) break;
            n = c;
        }
        const Node* scope = n->parent && n->parent->first < n->parent->last ? n->parent : root_;
        int best = scope->first, best_d = INT_MAX;
        for (int i = scope->first; i < scope->last; ++i) {
            const Rgb& e = palette_[std::size_t(i)];
            int d = (e[0] - r) * (e[0] - r) + (e[1] - g) * (e[1] - g) + (e[2] - b) * (e[2] - b);
            if (d < best_d) best_d = d, best = i;
        }
        return best;
    }

private:
    struct Node {
        Node* parent = nullptr;
        Node* child[8] = {};
        int index_in_parent = 0, level = 0;
        int centre[3] = {128, 128, 128};
        std::uint32_t weight = 0;
        std::uint64_t pixels = 0, sum[3] = {0, 0, 0};
        int index = -1, first = 0, last = 0; // palette entry, and the entries of its subtree
    };

    static int child_index(const Node* n, int r, int g, int b)
    {
        return 4 * (b > n->centre[2]) + 2 * (g > n->centre[1]) + (r > n->centre[0]);
    }

    Node* make(Node* parent, int level, int r, int g, int b)
    {
        if (used_ == 2048 || pools_.empty()) pools_.push_back(std::make_unique<Node[]>(2048)), used_ = 0;
        Node* n = &pools_.back()[used_++];
        n->parent = parent, n->level = level;
        n->centre[0] = r, n->centre[1] = g, n->centre[2] = b;
        ++live_;
        return n;
    }

    void merge(Node* n)
    {
        Node* p = n->parent;
        p->child[n->index_in_parent] = nullptr;
        p->pixels += n->pixels;
        for (int c = 0; c < 3; ++c) p->sum[c] += n->sum[c];
        --live_;
    }

    void prune_deepest()
    {
        merge_level(root_, depth_);
        if (depth_ > 1) --depth_;
    }
    void merge_level(Node* n, int level)
    {
        for (Node* c : n->child)
            if (c) {
                if (c->level == level) merge(c);
                else merge_level(c, level);
            }
    }

    int count_pixels(const Node* n) const
    {
        int k = n->pixels > 0;
        for (const Node* c : n->child)
            if (c) k += count_pixels(c);
        return k;
    }

    void reduce(Node* n, std::uint32_t prune, std::uint32_t* min, int* count)
    {
        for (Node* c : n->child)
            if (c) reduce(c, prune, min, count);
        if (n != root_ && n->weight <= prune) {
            merge(n);
        } else if (n->pixels) {
            ++*count;
            *min = std::min(*min, n->weight);
        }
    }

    void assign(Node* n)
    {
        n->first = int(palette_.size());
        for (Node* c : n->child)
            if (c) assign(c);
        if (n->pixels) {
            n->index = int(palette_.size());
            Rgb e;
            for (int c = 0; c < 3; ++c) e[std::size_t(c)] = std::uint8_t((n->sum[c] + n->pixels / 2) / n->pixels);
            palette_.push_back(e);
        }
        n->last = int(palette_.size());
    }

    int max_colours_, depth_;
    std::uint32_t weight_[9];
    std::vector<std::unique_ptr<Node[]>> pools_;
    int used_ = 0;
    long live_ = 0;
    Node* root_;
    std::vector<Rgb> palette_;
};

// Every pixel of a section in storage order (bottom row first).
template <class F> void each_pixel(const gdi::Section& s, F&& f)
{
    for (int y = s.height - 1; y >= 0; --y) {
        std::uint8_t* p = s.row(y);
        for (int x = 0; x < s.width; ++x) f(p + x * 3);
    }
}

} // namespace

bool ImageObject::TargetSection(gdi::Section* out) const
{
    return bits_ && gdi::GetSection(gdi::CurrentBitmap(target_dc_), out);
}

// BuildPalette(important): a palette for the picture from entry `important`
// on, and every other pixel moved onto it.
void ImageObject::BuildPalette(Args& a)
{
    gdi::Section s;
    const std::int32_t important = Num(a[0]);
    if (!TargetSection(&s) || important < 0 || important >= palette_size_) return;
    ExactIndex kept(palette_.data(), important);
    auto is_kept = [&](const std::uint8_t* p) {
        if (!important) return false;
        const Rgb& e = palette_[kept(p)];
        return e[0] == p[2] && e[1] == p[1] && e[2] == p[0];
    };
    OctreeQuantizer q(palette_size_ - important, std::uint64_t(s.width) * std::uint64_t(s.height));
    each_pixel(s, [&](std::uint8_t* p) {
        if (!is_kept(p)) q.Insert(p[2], p[1], p[0]);
    });
    q.Reduce();
    std::vector<Rgb> colours = q.Assign();
    for (std::size_t i = 0; i < colours.size() && important + i < std::size_t(palette_size_); ++i)
        palette_[important + i] = colours[i];
    if (colours.empty()) return;
    each_pixel(s, [&](std::uint8_t* p) {
        if (is_kept(p)) return;
        const Rgb& e = colours[std::size_t(q.Nearest(p[2], p[1], p[0]))];
        p[0] = e[2], p[1] = e[1], p[2] = e[0];
    });
}

// ApplyPalette(varDither): the palette settled through the tree, then every
// pixel moved onto it, with Floyd-Steinberg error diffusion when asked.
void ImageObject::ApplyPalette(Args& a)
{
    gdi::Section s;
    if (!TargetSection(&s)) return;
    const bool dither = Flag(arg(a, 0));
    const std::uint64_t pixels = std::uint64_t(s.width) * std::uint64_t(s.height);
    OctreeQuantizer q(palette_size_, pixels);
    for (std::uint64_t i = 0; i < pixels; ++i) {
        const Rgb& e = palette_[i % std::uint64_t(palette_size_)];
        q.Insert(e[0], e[1], e[2]);
    }
    q.Reduce();
    std::vector<Rgb> colours = q.Assign();
    std::copy(colours.begin(), colours.end(), palette_.begin());
    if (colours.empty()) return;
    std::vector<std::int16_t> cache(64 * 64 * 64, -1);
    const std::size_t cells = std::size_t(s.width) + 2;
    std::vector<int> err(2 * cells * 3, 0); // this row and the next, one spare cell at each end
    int* cur = err.data();
    int* nxt = err.data() + cells * 3;
    bool leftward = true;
    for (int y = s.height - 1; y >= 0; --y, leftward = !leftward) {
        std::uint8_t* row = s.row(y);
        const int step = leftward ? -1 : 1;
        for (int k = 0; k < s.width; ++k) {
            const int x = leftward ? s.width - 1 - k : k;
            std::uint8_t* p = row + x * 3;
            int want[3];
            for (int c = 0; c < 3; ++c) want[c] = std::clamp(p[2 - c] + (cur[(x + 1) * 3 + c] + 8) / 16, 0, 255);
            std::int16_t& slot = cache[std::size_t(want[0] / 4) * 4096 + std::size_t(want[1] / 4) * 64 + std::size_t(want[2] / 4)];
            if (slot < 0) slot = std::int16_t(q.Nearest(want[0], want[1], want[2]));
            const Rgb& e = colours[std::size_t(slot)];
            p[0] = e[2], p[1] = e[1], p[2] = e[0];
            if (!dither) continue;
            for (int c = 0; c < 3; ++c) {
                int d = want[c] - e[std::size_t(c)];
                cur[(x + 1 + step) * 3 + c] += 7 * d;
                nxt[(x + 1 - step) * 3 + c] += 3 * d;
                nxt[(x + 1) * 3 + c] += 5 * d;
                nxt[(x + 1 + step) * 3 + c] += d;
            }
        }
        std::swap(cur, nxt);
        std::fill(nxt, nxt + cells * 3, 0);
    }
}

// WebPalette: the 6 × 6 × 6 colour cube in entries 0..215 of a 256-entry
// palette, and every channel rounded to a multiple of 51.
void ImageObject::WebPalette()
{
    gdi::Section s;
    if (!TargetSection(&s) || palette_size_ != 256) return;
    for (int i = 0; i < 216; ++i) palette_[std::size_t(i)] = {std::uint8_t(i / 36 * 51), std::uint8_t(i / 6 % 6 * 51), std::uint8_t(i % 6 * 51)};
    each_pixel(s, [](std::uint8_t* p) {
        for (int c = 0; c < 3; ++c) p[c] = std::uint8_t(p[c] / 51 * 51 + (p[c] % 51 > 25 ? 51 : 0));
    });
}

void ImageObject::ChangePaletteSize(Args& a)
{
    std::int32_t n = Num(a[0]);
    if (n < 2 || n > 256) n = 2;
    int size = 2;
    while (size < n) size *= 2;
    palette_size_ = size;
}

} // namespace glimmerax
