#include "relations/geometry_index.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "geometry/tolerance.h"
#include "platform/huge_pages.h"

namespace kelo {

namespace {

constexpr double kMargin = 1e-8;
constexpr int kDefaultSize = 30;
constexpr int kDefaultLevel = 10;

using Node = GeometryIndexNode;

// A box of zero width would make every quadrant split meaningless, so the index extent is never
// thinner than a hundred limit tolerances.
void GrowToMinimum(Box& b) {
    if (b.IsEmpty()) return;
    const double least = 100 * g_epsLimit;
    if (b.maxx - b.minx < least) {
        double d = (least - (b.maxx - b.minx)) / 2;
        b.minx -= d;
        b.maxx += d;
    }
    if (b.maxy - b.miny < least) {
        double d = (least - (b.maxy - b.miny)) / 2;
        b.miny -= d;
        b.maxy += d;
    }
}

bool IsFinite(const Box& b) {
    return std::isfinite(b.minx) && std::isfinite(b.miny) && std::isfinite(b.maxx) && std::isfinite(b.maxy);
}

Box Inflated(const Box& b) {
    Box r = b;
    r.minx -= kMargin;
    r.miny -= kMargin;
    r.maxx += kMargin;
    r.maxy += kMargin;
    return r;
}

bool Covers(const Box& r, const Box& node) {
    return r.minx <= node.minx && r.miny <= node.miny && r.maxx >= node.maxx && r.maxy >= node.maxy;
}

// The halfway value, without overflow for edges near the ends of the double range; anywhere
// else both forms round to the same value.
double Mid(double a, double b) {
    const double m = (a + b) / 2;
    return std::isfinite(m) ? m : a / 2 + b / 2;
}

// Where a node splits. Once split it is the children's common corner, never recomputed from the
// node's box: a root grown at extreme magnitudes splits on the old root's edges, which the
// midpoint of its doubled box may miss by a rounding, and insertion, removal and queries must
// all take the same sides.
void Centre(const Node& n, double& cx, double& cy) {
    if (n.children) {
        cx = n.children[0].box.maxx;
        cy = n.children[0].box.maxy;
    } else {
        cx = Mid(n.box.minx, n.box.maxx);
        cy = Mid(n.box.miny, n.box.maxy);
    }
}

// Bit q set when the box touches quadrant q; closed comparisons, so a box on a centre line
// touches both sides.
int TouchMask(const Box& b, const Node& node) {
    double cx, cy;
    Centre(node, cx, cy);
    bool left = b.minx <= cx, right = b.maxx >= cx, below = b.miny <= cy, above = b.maxy >= cy;
    return (left && below ? 1 : 0) | (right && below ? 2 : 0) | (left && above ? 4 : 0) | (right && above ? 8 : 0);
}

void SetChildBoxes(Node* n, double cx, double cy) {
    const Box& b = n->box;
    n->children[0].box = Box(b.minx, b.miny, cx, cy);
    n->children[1].box = Box(cx, b.miny, b.maxx, cy);
    n->children[2].box = Box(b.minx, cy, cx, b.maxy);
    n->children[3].box = Box(cx, cy, b.maxx, b.maxy);
}

void Place(Node* n, NodeInfoType* rec, const Box& ib) {
    (Covers(ib, n->box) ? n->covering : n->leaf).push_back(rec);
}

void InsertAt(Node* n, NodeInfoType* rec, const Box& ib, int budget, int size) {
    if (Covers(ib, n->box)) {
        n->covering.push_back(rec);
        return;
    }
    if (!n->children) {
        n->leaf.push_back(rec);
        if (static_cast<int>(n->leaf.size()) < size || budget <= 0) return;
        double cx, cy;
        Centre(*n, cx, cy);
        n->children = new Node[4];
        SetChildBoxes(n, cx, cy);
        for (NodeInfoType* r : n->leaf) {
            Box rb = Inflated(*r->box);
            int mask = TouchMask(rb, *n);
            for (int q = 0; q < 4; ++q)
                if (mask & (1 << q)) Place(&n->children[q], r, rb);
        }
        std::vector<NodeInfoType*>().swap(n->leaf);
        return;
    }
    int mask = TouchMask(ib, *n);
    for (int q = 0; q < 4; ++q)
        if (mask & (1 << q)) InsertAt(&n->children[q], rec, ib, budget - 1, size);
}

void EraseFrom(std::vector<NodeInfoType*>& list, const NodeInfoType* rec) {
    auto it = std::find(list.begin(), list.end(), rec);
    if (it != list.end()) list.erase(it);
}


// Follows the placement rule of InsertAt, which is deterministic given the node boxes, so every
// list that holds the record is reached.
void RemoveAt(Node* n, const NodeInfoType* rec, const Box& ib) {
    EraseFrom(n->covering, rec);
    EraseFrom(n->leaf, rec);
    if (Covers(ib, n->box) || !n->children) return;
    int mask = TouchMask(ib, *n);
    for (int q = 0; q < 4; ++q)
        if (mask & (1 << q)) RemoveAt(&n->children[q], rec, ib);
}

void FreeNode(Node* n) {
    if (!n->children) return;
    for (int q = 0; q < 4; ++q) FreeNode(&n->children[q]);
    delete[] n->children;
    n->children = nullptr;
}

// Builds, in one pass per level, the tree that inserting the records one by one from the root in
// their array order gives. Under that order a node holds, while it is a leaf, the records of its
// parent's leaf list that touch its quadrant without covering it, in array order, and splits when
// a record arriving after the node was made brings that count to the capacity: the records placed
// in it when its parent split never split it by themselves. So a node made at record c, whose
// list holds k records up to c, splits at its max(size, k + 1)-th record if that comes at all.
class TopDown {
public:
    TopDown(const CNodeInfoArray& recs, int size) : m_recs(recs), m_capacity(static_cast<size_t>(size)) {}

    void Build(Node* root, int budget) {
        // A node splits only while its budget lasts, and only at a record later than the one its
        // parent split at, so depth passes neither the budget nor the record count.
        m_lists.resize(std::min(static_cast<size_t>(std::max(budget, 0)), m_recs.size()) + 1);
        m_masks.resize(m_lists.size());
        const CNodeInfoArray& recs = m_recs;
        auto fromRecords = [&recs](size_t k) {
            const Box& b = *recs[k]->box;
            return Entry{b.minx - kMargin, b.miny - kMargin, b.maxx + kMargin, b.maxy + kMargin, static_cast<uint32_t>(k)};
        };
        Fill(root, 0, recs.size(), fromRecords, -1, budget);
    }

private:
    // A record reaching a node: its inflated box, as Inflated makes it, and its array position.
    // Each level copies the lists down, so a level reads its boxes in order rather than
    // chasing records scattered over the plane.
    struct Entry {
        double minx, miny, maxx, maxy;
        uint32_t at;
    };
    static constexpr uint8_t kCovers = 16;
    struct FromList {
        const Entry* list;
        Entry operator()(size_t k) const { return list[k]; }
    };

    // get(k) is the k-th record reaching n, in array order.
    template <class Get>
    void Fill(Node* n, size_t depth, size_t count, const Get& get, int64_t made, int budget) {
        std::vector<uint8_t>& maskList = m_masks[depth];
        if (maskList.size() < count) maskList.resize(count);
        uint8_t* masks = maskList.data();
        const Box& nb = n->box;
        double cx, cy;
        Centre(*n, cx, cy);
        size_t kept = 0, early = 0, counts[4] = {0, 0, 0, 0};
        for (size_t k = 0; k < count; ++k) {
            const Entry e = get(k);
            // as Covers and TouchMask
            if (e.minx <= nb.minx && e.miny <= nb.miny && e.maxx >= nb.maxx && e.maxy >= nb.maxy) {
                n->covering.push_back(m_recs[e.at]);
                masks[k] = kCovers;
                continue;
            }
            const unsigned left = e.minx <= cx, right = e.maxx >= cx, below = e.miny <= cy, above = e.maxy >= cy;
            const unsigned mask = (left & below) | (right & below) << 1 | (left & above) << 2 | (right & above) << 3;
            for (int q = 0; q < 4; ++q) counts[q] += (mask >> q) & 1;
            masks[k] = static_cast<uint8_t>(mask);
            ++kept;
            if (static_cast<int64_t>(e.at) <= made) ++early;
        }
        const size_t trigger = std::max(m_capacity, early + 1);
        if (budget <= 0 || kept < trigger) {
            n->leaf.reserve(kept);
            for (size_t k = 0; k < count; ++k)
                if (masks[k] != kCovers) n->leaf.push_back(m_recs[get(k).at]);
            return;
        }
        int64_t splitAt = 0;
        for (size_t k = 0, seen = 0; k < count; ++k)
            if (masks[k] != kCovers && ++seen == trigger) {
                splitAt = get(k).at;
                break;
            }
        n->children = new Node[4];
        SetChildBoxes(n, cx, cy);
        // One child's list at a time keeps each level's buffer about a quarter of the one above.
        Buffer& below = m_lists[depth + 1];
        const size_t most = *std::max_element(counts, counts + 4);
        if (below.size < most) {
            below.data.reset(new Entry[most]);
            below.size = most;
        }
        Entry* list = below.data.get();
        for (int q = 0; q < 4; ++q) {
            size_t put = 0;
            for (size_t k = 0; k < count; ++k)
                if (masks[k] & (1 << q)) list[put++] = get(k);
            Fill(&n->children[q], depth + 1, put, FromList{list}, splitAt, budget - 1);
        }
    }

    const CNodeInfoArray& m_recs;
    const size_t m_capacity;
    struct Buffer {
        std::unique_ptr<Entry[]> data;  // left uninitialised: every entry read was written first
        size_t size = 0;
    };
    std::vector<Buffer> m_lists;                // per depth, the list of the node being filled
    std::vector<std::vector<uint8_t>> m_masks;  // per depth, the quadrants each listed record touches
};

// A record and its box in one allocation: the index makes and frees all of its records, and
// loading a million of them is dominated by allocations otherwise. A bulk load makes its records
// in one block, freed with the last of them.
struct RecordBlock;
struct OwnedRecord {
    NodeInfoType info;
    Box box;
    RecordBlock* block;  // null for a record made alone
    uint32_t slot;       // the record's position in the id-sorted array when the compact copy was made
};
static_assert(std::is_standard_layout_v<OwnedRecord>, "a record pointer converts back to its allocation");
static_assert(std::is_trivially_destructible_v<OwnedRecord>, "a block frees its records without visiting them");

struct RecordBlock {
    size_t live;
    OwnedRecord* records;
};

NodeInfoType* NewRecord(uint32_t id, const Box& box) {
    auto* o = new OwnedRecord{NodeInfoType{}, box, nullptr, 0};
    o->info.id = id;
    o->info.box = &o->box;
    return &o->info;
}

// Records are taken from the block in order; the block must hold as many as are taken.
NodeInfoType* NewRecord(uint32_t id, const Box& box, RecordBlock* block) {
    OwnedRecord* o = new (&block->records[block->live++]) OwnedRecord{NodeInfoType{}, box, block, 0};
    o->info.id = id;
    o->info.box = &o->box;
    return &o->info;
}

RecordBlock* NewBlock(size_t count) {
    const size_t bytes = count * sizeof(OwnedRecord);
    auto* b = new RecordBlock{0, static_cast<OwnedRecord*>(::operator new(bytes))};
    // A large block is filled at once: huge pages spare a page fault per 4 KiB, which otherwise
    // costs about a fifth of a million-record load.
    detail::AdviseHugePages(b->records, bytes);
    return b;
}

void FreeRecord(NodeInfoType* rec) {
    auto* o = reinterpret_cast<OwnedRecord*>(rec);
    RecordBlock* block = o->block;
    if (!block) {
        delete o;
    } else if (--block->live == 0) {
        ::operator delete(block->records);
        delete block;
    }
}

bool SameBox(const Box& a, const Box& b) {
    return std::fabs(a.minx - b.minx) <= kMargin && std::fabs(a.miny - b.miny) <= kMargin &&
           std::fabs(a.maxx - b.maxx) <= kMargin && std::fabs(a.maxy - b.maxy) <= kMargin;
}

struct Hit {
    uint32_t id;
    NodeInfoType* rec;
};

// Every list that can hold a record meeting q; the record order is restored by the caller.
void CollectMeeting(const Node* n, const Box& q, std::vector<Hit>& found) {
    for (NodeInfoType* r : n->covering) found.push_back(Hit{r->id, r});
    for (NodeInfoType* r : n->leaf) {
        const Box& b = *r->box;
        if (b.minx <= q.maxx && q.minx <= b.maxx && b.miny <= q.maxy && q.miny <= b.maxy) found.push_back(Hit{r->id, r});
    }
    if (!n->children) return;
    const int mask = TouchMask(q, *n);
    for (int c = 0; c < 4; ++c)
        if (mask & (1 << c)) CollectMeeting(&n->children[c], q, found);
}

// Directed conversions: the float lies on the named side of the double, at most one float step
// from it, which bounds what a comparison of floats can get wrong.
// The next float toward +inf (up) or -inf (down) from f, which is not NaN and not already at
// that end: the next bit pattern away from zero, or toward it, as the sign says. Each query
// makes eight of these, and the library call cost a tenth of a small window's query.
float NextFloat(float f, bool up) {
    if (f == 0) return up ? std::numeric_limits<float>::denorm_min() : -std::numeric_limits<float>::denorm_min();
    const uint32_t bits = std::bit_cast<uint32_t>(f);
    return std::bit_cast<float>((f > 0) == up ? bits + 1 : bits - 1);
}
float FloatDown(double d) {
    float f = static_cast<float>(d);
    return static_cast<double>(f) > d ? NextFloat(f, false) : f;
}
float FloatUp(double d) {
    float f = static_cast<float>(d);
    return static_cast<double>(f) < d ? NextFloat(f, true) : f;
}

// A node's block in the compact copy: the four runs of leaf box edges, each as long as the
// leaf list padded to a multiple of four; then each entry's position in the id-sorted array,
// padded to an even count; then each entry's record, two words each.
size_t Padded(size_t leaf) { return (leaf + 3) & ~size_t{3}; }
size_t PositionsAt(size_t leaf) { return 4 * Padded(leaf); }
size_t RecordsAt(size_t leaf, size_t entries) { return PositionsAt(leaf) + ((entries + 1) & ~size_t{1}); }
size_t BlockWords(size_t leaf, size_t entries) { return entries ? RecordsAt(leaf, entries) + 2 * entries : 0; }

// Records are kept as pairs of words; a record's index counts such pairs from the start of the
// words, as blocks and their record runs start on even words.
NodeInfoType* RecordAt(const uint32_t* words, size_t index) {
    NodeInfoType* r;
    std::memcpy(&r, words + 2 * index, sizeof r);
    return r;
}

// Scratch lists of box queries, one set per thread, reused across queries: growing fresh ones
// cost more than a large window's sort, and reaching them once per query spares the repeated
// thread-local look-ups of a shared library.
struct QueryScratch {
    std::vector<uint32_t> visited;
    std::vector<uint64_t> found, spare;
    // Slots of the order-keeping table and a bit per slot set when it is filled; between
    // queries every slot holds kNoHit and every bit is clear.
    std::vector<uint64_t> table, filled;
};
constexpr uint64_t kNoHit = ~uint64_t{0};

// The calling thread's scratch lists. Reached through a call the compiler cannot see into: when
// it knows the lists are thread-local, it looks their address up again at every use in the walk
// rather than keep it in a register, about forty look-ups per large query.
[[gnu::noinline]] QueryScratch& ThreadScratch() {
    thread_local QueryScratch scratch;
    return scratch;
}

// The walk of CollectMeeting over the compact copy: the same nodes are visited and the same
// records taken, each as its entry in the compact copy. The nodes are found first
// and their blocks fetched ahead, so the entries of one node are tested while the next arrive.
// The entries' float boxes contain their true boxes, so a float test against the query rounded
// outward misses nothing; an entry it passes is a hit for sure when it also passes against the
// query rounded inward, as the float edge is then more than a float step inside; only an entry
// whose edge lies within a float step of the query's is tested on its record's own box.
// A hit is kept as its record's position in the id-sorted array, above the index of the record
// in the words.
template <class Quad>
struct FlatWalk {
    const Quad* quads;
    const uint32_t* words;
    const Box& q;
    QueryScratch& s;
    size_t count = 0;  // hits in s.found
    mutable size_t visitedCount = 0;  // nodes listed in s.visited
    uint32_t lo = ~uint32_t{0}, hi = 0;  // no hit has a position outside

    const auto& NodeAt(uint32_t i) const { return quads[i >> 2].child[i & 3]; }

    // Breadth first, so the nodes of a level and their blocks are fetched while the nodes before
    // them are read. Returns the most hits the visited nodes can give. Children are listed without
    // branches: which of them the window reaches is as good as random, and mispredicted jumps
    // cost more than the stores.
    size_t Find() const {
        std::vector<uint32_t>& visited = s.visited;
        if (visited.size() < 64) visited.resize(64);
        uint32_t* v = visited.data();
        v[0] = 0;
        size_t listed = 1, most = 0;
        for (size_t i = 0; i < listed; ++i) {
            const auto& n = NodeAt(v[i]);
            const size_t entries = n.covering + n.leaf;
            // The starts of the four edge runs and of the positions, which the test reads side by
            // side; the rest of each run follows in order.
            const uint32_t* block = words + n.first;
            const size_t kp = Padded(n.leaf);
            __builtin_prefetch(block);
            __builtin_prefetch(block + kp);
            __builtin_prefetch(block + 2 * kp);
            __builtin_prefetch(block + 3 * kp);
            __builtin_prefetch(block + 4 * kp);
            most += entries;
            if (n.children < 0) continue;
            const unsigned left = q.minx <= n.cx, right = q.maxx >= n.cx, below = q.miny <= n.cy, above = q.maxy >= n.cy;
            const uint32_t c = static_cast<uint32_t>(n.children);
            const char* quad = reinterpret_cast<const char*>(quads + (c >> 2));
            __builtin_prefetch(quad);
            __builtin_prefetch(quad + 64);
            // A window reaching all four children likely walks their subtrees too. Quads are laid
            // out depth first, so the ones after the children's hold the first child's own
            // children and theirs: fetching them now shortens the chain of dependent loads.
            if (left & right & below & above)
                for (int b = 128; b < 8 * 64; b += 64) __builtin_prefetch(quad + b);
            if (visited.size() < listed + 4) {
                visited.resize(2 * visited.size());
                v = visited.data();
            }
            v[listed] = c;
            listed += left & below;
            v[listed] = c + 1;
            listed += right & below;
            v[listed] = c + 2;
            listed += left & above;
            v[listed] = c + 3;
            listed += right & above;
        }
        visitedCount = listed;
        return most;
    }

    void Run() {
        const size_t most = Find();
        // Four more than can be kept: a group of entries is written whole and only its hits counted.
        if (s.found.size() < most + 4) s.found.resize(most + 4);
        uint64_t* found = s.found.data();
        // Kept local: the hits are integers of its type, so stores to them would otherwise
        // make every use of the member reload it.
        size_t taken = 0;
        const float loX = FloatDown(q.minx), loY = FloatDown(q.miny), hiX = FloatUp(q.maxx), hiY = FloatUp(q.maxy);
        const float inLoX = FloatUp(q.minx), inLoY = FloatUp(q.miny), inHiX = FloatDown(q.maxx), inHiY = FloatDown(q.maxy);
#if defined(__SSE2__)
        const __m128 hx = _mm_set1_ps(hiX), hy = _mm_set1_ps(hiY), lx = _mm_set1_ps(loX), ly = _mm_set1_ps(loY);
        const __m128 ihx = _mm_set1_ps(inHiX), ihy = _mm_set1_ps(inHiY), ilx = _mm_set1_ps(inLoX), ily = _mm_set1_ps(inLoY);
#endif
        const uint32_t* visited = s.visited.data();
        for (size_t v = 0; v < visitedCount; ++v) {
            const auto& n = NodeAt(visited[v]);
            const size_t entries = n.covering + n.leaf;
            if (!entries) continue;
            const uint32_t* edges = words + n.first;
            const uint32_t* positions = edges + PositionsAt(n.leaf);
            const uint32_t records = static_cast<uint32_t>((n.first + RecordsAt(n.leaf, entries)) / 2);
            auto hit = [&](uint32_t k) { return uint64_t{positions[k]} << 32 | (records + k); };
            // Each list is in id order, so its ends bound the positions of the node's hits: the
            // table below needs only bounds, not the least and greatest hit.
            const uint32_t covering = n.covering, last = static_cast<uint32_t>(entries - 1);
            lo = std::min({lo, positions[0], positions[covering < last ? covering : last]});
            hi = std::max({hi, positions[last], positions[covering ? covering - 1 : 0]});
            for (uint32_t k = 0; k < n.covering; ++k) found[taken++] = hit(k);
            const size_t kp = Padded(n.leaf);
            // An entry whose float box passes against the query rounded outward but not inward is
            // decided on its record's own box.
            auto check = [&](size_t k) {
                const Box& b = *RecordAt(words, records + n.covering + k)->box;
                if (b.minx <= q.maxx && q.minx <= b.maxx && b.miny <= q.maxy && q.miny <= b.maxy) found[taken++] = hit(static_cast<uint32_t>(n.covering + k));
            };
#if defined(__SSE2__)
            const float* e = reinterpret_cast<const float*>(edges);  // read only through the unaligned-load intrinsic
            for (size_t i = 0; i < kp; i += 4) {
                const __m128 x0 = _mm_loadu_ps(e + i), y0 = _mm_loadu_ps(e + kp + i), x1 = _mm_loadu_ps(e + 2 * kp + i),
                             y1 = _mm_loadu_ps(e + 3 * kp + i);
                const __m128 mx = _mm_and_ps(_mm_cmple_ps(x0, hx), _mm_cmple_ps(lx, x1));
                const __m128 my = _mm_and_ps(_mm_cmple_ps(y0, hy), _mm_cmple_ps(ly, y1));
                const __m128 sx = _mm_and_ps(_mm_cmplt_ps(x0, ihx), _mm_cmplt_ps(ilx, x1));
                const __m128 sy = _mm_and_ps(_mm_cmplt_ps(y0, ihy), _mm_cmplt_ps(ily, y1));
                const unsigned maybe = static_cast<unsigned>(_mm_movemask_ps(_mm_and_ps(mx, my)));
                const unsigned sure = static_cast<unsigned>(_mm_movemask_ps(_mm_and_ps(sx, sy)));
                // All four are written and only the sure ones counted: how many of a group are
                // hits is as good as random, and a loop over them mispredicts its exit. The
                // positions read past a node's last entry are still inside its block, since the
                // positions are followed by two words per entry.
                const uint32_t k = static_cast<uint32_t>(n.covering + i);
                found[taken] = hit(k);
                taken += sure & 1;
                found[taken] = hit(k + 1);
                taken += (sure >> 1) & 1;
                found[taken] = hit(k + 2);
                taken += (sure >> 2) & 1;
                found[taken] = hit(k + 3);
                taken += (sure >> 3) & 1;
                for (unsigned bits = maybe & ~sure; bits; bits &= bits - 1) check(i + static_cast<size_t>(__builtin_ctz(bits)));
            }
#else
            auto edge = [edges](size_t k) { return std::bit_cast<float>(edges[k]); };
            for (size_t k = 0; k < n.leaf; ++k) {
                if (!(edge(k) <= hiX && loX <= edge(2 * kp + k) && edge(kp + k) <= hiY && loY <= edge(3 * kp + k))) continue;
                if (edge(k) < inHiX && inLoX < edge(2 * kp + k) && edge(kp + k) < inHiY && inLoY < edge(3 * kp + k)) found[taken++] = hit(static_cast<uint32_t>(n.covering + k));
                else check(k);
            }
#endif
        }
        count = taken;
    }
};

// Orders hits by their upper half, a value below limit, least significant digits first.
void RadixSortHits(uint64_t* v, size_t n, std::vector<uint64_t>& spare, uint32_t limit) {
    if (spare.size() < n) spare.resize(n);
    uint64_t* from = v;
    uint64_t* to = spare.data();
    // As few passes as bytes would take, each over as few bits as they allow.
    const int bits = limit > 1 ? static_cast<int>(std::bit_width(limit - 1)) : 1, digits = (bits + 7) / 8, width = (bits + digits - 1) / digits;
    const uint32_t mask = (uint32_t{1} << width) - 1;
    uint32_t counts[4][256] = {};
    for (size_t i = 0; i < n; ++i)
        for (int d = 0; d < digits; ++d) ++counts[d][(v[i] >> (32 + width * d)) & mask];
    for (int d = 0; d < digits; ++d) {
        uint32_t* c = counts[d];
        if (c[(v[0] >> (32 + width * d)) & mask] == n) continue;
        uint32_t sum = 0;
        for (uint32_t b = 0; b <= mask; ++b) sum += std::exchange(c[b], sum);
        for (size_t i = 0; i < n; ++i) to[c[(from[i] >> (32 + width * d)) & mask]++] = from[i];
        std::swap(from, to);
    }
    if (from != v) std::copy(from, from + n, v);
}

// Puts hits in order of their upper half with one of each upper half left, into a table where
// each lands at or after the slot its upper half maps to, in proportion over [lo, hi], eight to
// sixteen slots per hit: spread hits then mostly find their slot empty and rarely move. A bit
// per slot marks the filled ones, so reading them back skips the empty. Returns false, the
// table emptied again, when the hits bunch so much that moving them costs more than a radix sort.
bool TableSortHits(const uint64_t* v, size_t n, uint32_t lo, uint32_t hi, QueryScratch& s, size_t& used) {
    const int shift = std::max(0, static_cast<int>(std::bit_width(hi - lo)) - static_cast<int>(std::bit_width(n)) - 3);
    const size_t home = ((hi - lo) >> shift) + 1;
    // A hit moves at most one slot per hit before it.
    used = home + n;
    if (s.table.size() < used) s.table.resize(used, kNoHit);
    if (s.filled.size() < used / 64 + 1) s.filled.resize(used / 64 + 1, 0);
    uint64_t* t = s.table.data();
    uint64_t* filled = s.filled.data();
    size_t budget = 8 * n;
    for (size_t i = 0; i < n; ++i) {
        const uint64_t x = v[i];
        const size_t from = ((x >> 32) - lo) >> shift;
        size_t p = from;
        if (t[p] == kNoHit) {
            t[p] = x;
            filled[p >> 6] |= uint64_t{1} << (p & 63);
            continue;
        }
        // An empty slot's upper half exceeds every position.
        while ((t[p] >> 32) < (x >> 32)) ++p;
        if ((t[p] >> 32) == (x >> 32)) continue;
        // Shifting the larger ones up by one fills exactly one more slot, the last.
        for (uint64_t y = x; y != kNoHit; ++p) y = std::exchange(t[p], y);
        filled[(p - 1) >> 6] |= uint64_t{1} << ((p - 1) & 63);
        if (p - from > budget) {
            std::fill(t, t + used, kNoHit);
            std::fill(filled, filled + used / 64 + 1, 0);
            return false;
        }
        budget -= p - from;
    }
    return true;
}

void SortUnique(std::vector<NodeInfoType*>& found, CNodeInfoArray& out) {
    std::sort(found.begin(), found.end(), [](const NodeInfoType* a, const NodeInfoType* b) { return a->id < b->id; });
    found.erase(std::unique(found.begin(), found.end()), found.end());
    out.assign(found.begin(), found.end());
}

// ---- distances between the query and a box ----

double Gap(double lo, double hi, double v) { return v < lo ? lo - v : (v > hi ? v - hi : 0.0); }

double MinDistance(const Box& q, const Box& b) {
    double dx = std::max({0.0, b.minx - q.maxx, q.minx - b.maxx});
    double dy = std::max({0.0, b.miny - q.maxy, q.miny - b.maxy});
    return std::hypot(dx, dy);
}

// The distance within which the box surely holds part of its record: a record reaches every
// edge of its own box, so it lies no farther than the nearer edge along one axis combined with
// the farther end of that edge along the other.
double SureDistance(const Box& q, const Box& b) {
    double x0 = Gap(q.minx, q.maxx, b.minx), x1 = Gap(q.minx, q.maxx, b.maxx);
    double y0 = Gap(q.miny, q.maxy, b.miny), y1 = Gap(q.miny, q.maxy, b.maxy);
    double viaX = std::hypot(std::min(x0, x1), std::max(y0, y1));
    double viaY = std::hypot(std::min(y0, y1), std::max(x0, x1));
    return std::min(viaX, viaY);
}

void SearchNear(const Node* n, const Box& q, double& bound, std::vector<NodeInfoType*>& found) {
    for (const auto* list : {&n->covering, &n->leaf})
        for (NodeInfoType* r : *list) {
            found.push_back(r);
            bound = std::min(bound, SureDistance(q, *r->box));
        }
    if (!n->children) return;
    std::pair<double, int> order[4];
    for (int i = 0; i < 4; ++i) order[i] = {MinDistance(q, n->children[i].box), i};
    std::sort(order, order + 4);
    for (const auto& [d, i] : order) {
        if (d > bound) break;
        SearchNear(&n->children[i], q, bound, found);
    }
}

}  // namespace

GeometryIndex::GeometryIndex() = default;

GeometryIndex::GeometryIndex(const Box& box, int size, int level) : m_box(box) {
    GrowToMinimum(m_box);
    m_size = size < 1 ? kDefaultSize : size;
    if (level < 0) m_growBy = -level;
    m_level = level < 1 ? kDefaultLevel : level;
}

GeometryIndex::~GeometryIndex() {
    FreeTree();
    for (NodeInfoType* r : m_records) FreeRecord(r);
}

void GeometryIndex::FreeTree() {
    if (!m_root) return;
    FreeNode(m_root);
    delete m_root;
    m_root = nullptr;
}

void GeometryIndex::Reserve(size_t extra) {
    size_t need = m_records.size() + extra;
    if (m_growBy > 0 && need > m_records.capacity())
        m_records.reserve(m_records.size() + std::max(extra, static_cast<size_t>(m_growBy)));
}

void GeometryIndex::SetSizeLevel(int size, int level) {
    Changed();
    m_size = size < 1 ? kDefaultSize : size;
    m_level = level < 1 ? kDefaultLevel : level;
    FreeTree();
    m_root = new Node;
    m_root->box = m_box;
}

void GeometryIndex::GrowRootFor(const Box& b) {
    constexpr double kTop = std::numeric_limits<double>::max();
    while (!m_box.contain(b)) {
        const double cx = Mid(m_box.minx, m_box.maxx), cy = Mid(m_box.miny, m_box.maxy);
        int q = (cx - b.minx > b.maxx - cx ? 1 : 0) | (cy - b.miny > b.maxy - cy ? 2 : 0);
        // A side already at the end of the range cannot grow; the record lies within it there.
        if (m_box.maxx == kTop) q |= 1;
        if (m_box.minx == -kTop) q &= ~1;
        if (m_box.maxy == kTop) q |= 2;
        if (m_box.miny == -kTop) q &= ~2;
        const Box old = m_box;
        // Doubling may overflow, in the width or the new edge: the box then stops at the largest
        // finite value, and every finite record still fits. Far out, the tolerance cannot widen
        // a box of one point, and doubling nothing would never reach the record: such a side
        // moves by its own magnitude instead.
        auto grow = [kTop](double edge, double by, double sign) {
            double e = edge + sign * by;
            if (e == edge) e = edge + sign * std::max(std::fabs(edge), 100 * g_epsLimit);
            return std::isfinite(e) ? e : sign * kTop;
        };
        if (q & 1) m_box.minx = grow(old.minx, old.maxx - old.minx, -1);
        else m_box.maxx = grow(old.maxx, old.maxx - old.minx, 1);
        if (q & 2) m_box.miny = grow(old.miny, old.maxy - old.miny, -1);
        else m_box.maxy = grow(old.maxy, old.maxy - old.miny, 1);
        Node* grown = new Node;
        grown->box = m_box;
        grown->children = new Node[4];
        // Split on the old root's edges exactly, so its quadrant is its own box and nothing
        // stored below it needs to move.
        SetChildBoxes(grown, q & 1 ? old.minx : old.maxx, q & 2 ? old.miny : old.maxy);
        grown->children[q] = std::move(*m_root);
        delete m_root;
        m_root = grown;
        ++m_level;
    }
}

void GeometryIndex::Insert(NodeInfoType* rec) { InsertAt(m_root, rec, Inflated(*rec->box), m_level, m_size); }

void GeometryIndex::RemoveFromTree(NodeInfoType* rec) {
    if (m_root && rec->box) RemoveAt(m_root, rec, Inflated(*rec->box));
}

void GeometryIndex::Add(const Box* box, uint32_t id) {
    Changed();
    if (!box) return;
    if (box->IsEmpty()) {
        Delete(id);
        return;
    }
    if (!IsFinite(*box)) return;
    if (m_box.IsEmpty()) {
        m_box = *box;
        GrowToMinimum(m_box);
        if (m_root) m_root->box = m_box;  // a root made while the extent was unknown holds nothing
    }
    if (!m_root) {
        m_root = new Node;
        m_root->box = m_box;
    }
    int pos = 0;
    if (m_records.Pos(id, pos)) {
        NodeInfoType* old = m_records[pos];
        if (SameBox(*old->box, *box)) return;
        RemoveFromTree(old);
        FreeRecord(old);
        m_records[pos] = NewRecord(id, *box);
    } else {
        Reserve(1);
        m_records.insert(m_records.begin() + pos, NewRecord(id, *box));
    }
    NodeInfoType* rec = m_records[pos];
    GrowRootFor(*rec->box);
    Insert(rec);
}

void GeometryIndex::Add(int count, const NodeInfoType* records) {
    Changed();
    if (count <= 0 || !records) return;
    // Of records with one id the last one given wins, as if they had been added one by one.
    std::vector<const NodeInfoType*> unique;
    unique.reserve(static_cast<size_t>(count));
    auto usable = [](const NodeInfoType& r) { return r.box && (r.box->IsEmpty() || IsFinite(*r.box)); };
    bool sorted = true;
    for (int i = 0; i < count && sorted; ++i) {
        if (!usable(records[i])) continue;
        if (unique.empty() || unique.back()->id < records[i].id) unique.push_back(&records[i]);
        else if (unique.back()->id == records[i].id) unique.back() = &records[i];
        else sorted = false;
    }
    if (!sorted) {
        std::vector<const NodeInfoType*> in;
        in.reserve(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i)
            if (usable(records[i])) in.push_back(&records[i]);
        std::stable_sort(in.begin(), in.end(), [](const NodeInfoType* a, const NodeInfoType* b) { return a->id < b->id; });
        unique.clear();
        for (const NodeInfoType* r : in) {
            if (!unique.empty() && unique.back()->id == r->id) unique.back() = r;
            else unique.push_back(r);
        }
    }
    if (unique.size() < 5 || unique.size() * 2 < m_records.size()) {
        for (const NodeInfoType* r : unique) Add(r->box, r->id);
        return;
    }

    bool wasEmpty = m_box.IsEmpty();
    for (const NodeInfoType* r : unique) m_box.add(*r->box);
    if (wasEmpty) GrowToMinimum(m_box);

    size_t made = 0;
    for (const NodeInfoType* r : unique) made += r->box->IsEmpty() ? 0 : 1;
    RecordBlock* block = made ? NewBlock(made) : nullptr;
    CNodeInfoArray merged;
    merged.reserve(m_records.size() + unique.size() + static_cast<size_t>(m_growBy));
    size_t i = 0, j = 0;
    while (i < m_records.size() || j < unique.size()) {
        if (j == unique.size() || (i < m_records.size() && m_records[i]->id < unique[j]->id)) {
            merged.push_back(m_records[i++]);
            continue;
        }
        const NodeInfoType* r = unique[j++];
        if (i < m_records.size() && m_records[i]->id == r->id) FreeRecord(m_records[i++]);
        if (!r->box->IsEmpty()) merged.push_back(NewRecord(r->id, *r->box, block));
    }
    m_records.swap(merged);

    FreeTree();
    if (m_box.IsEmpty()) return;
    m_root = new Node;
    m_root->box = m_box;
    TopDown(m_records, m_size).Build(m_root, m_level);
}

void GeometryIndex::Delete(uint32_t id) {
    Changed();
    int pos = 0;
    if (!m_records.Pos(id, pos)) return;
    NodeInfoType* rec = m_records[pos];
    RemoveFromTree(rec);
    m_records.erase(m_records.begin() + pos);
    FreeRecord(rec);
}

int GeometryIndex::BoxQuery(const Box& box, CNodeInfoArray& out) const {
    out.clear();
    if (m_box.IsEmpty() || !m_root || box.IsEmpty() || !m_box.intersect(box)) return 0;
    const Box q = Inflated(box);
    // The compact copy pays for itself after about one query per sixteen records.
    if (!m_flatValid && ++m_queriesSinceChange >= std::max<size_t>(64, m_records.size() / 16)) Flatten();
    // Hits come from several nodes and a record straddling leaves is listed in each, so they are
    // sorted by id and a record appears once. The lists are reused across queries: growing fresh
    // ones cost more than a large window's sort.
    if (m_flatValid) {
        QueryScratch& s = ThreadScratch();
        const uint32_t* words = m_flatWords.data();
        FlatWalk<FlatQuad> walk{m_flatNodes.data(), words, q, s};
        walk.Run();
        const size_t count = walk.count;
        uint64_t* found = s.found.data();
        out.resize(count);
        NodeInfoType** put = out.data();
        size_t n = 0;
        size_t used = 0;
        if (count >= 64 && count <= 4096 && TableSortHits(found, count, walk.lo, walk.hi, s, used)) {
            // Emptying the table as it is read keeps it ready for the next query.
            uint64_t* t = s.table.data();
            for (size_t w = 0; w <= used / 64; ++w)
                for (uint64_t bits = std::exchange(s.filled[w], 0); bits; bits &= bits - 1) {
                    const size_t at = w * 64 + static_cast<size_t>(std::countr_zero(bits));
                    put[n++] = RecordAt(words, static_cast<uint32_t>(std::exchange(t[at], kNoHit)));
                }
        } else {
            if (count < 64) std::sort(found, found + count);
            else RadixSortHits(found, count, s.spare, static_cast<uint32_t>(m_records.size()));
            uint64_t last = kNoHit;
            for (size_t i = 0; i < count; ++i) {
                put[n] = RecordAt(words, static_cast<uint32_t>(found[i]));
                n += (found[i] >> 32) != last;
                last = found[i] >> 32;
            }
        }
        out.resize(n);
        return out.GetSize();
    }
    thread_local std::vector<Hit> found;
    found.clear();
    CollectMeeting(m_root, q, found);
    std::sort(found.begin(), found.end(), [](const Hit& a, const Hit& b) { return a.id < b.id; });
    out.resize(found.size());
    size_t n = 0;
    for (size_t i = 0; i < found.size(); ++i)
        if (i == 0 || found[i].id != found[i - 1].id) out[n++] = found[i].rec;
    out.resize(n);
    return out.GetSize();
}

void GeometryIndex::Changed() {
    if (m_flatValid) {
        std::vector<FlatQuad>().swap(m_flatNodes);
        std::vector<uint32_t>().swap(m_flatWords);
        m_flatValid = false;
    }
    m_queriesSinceChange = 0;
}

void GeometryIndex::Flatten() const {
    m_flatNodes.clear();
    m_flatWords.clear();
    if (!m_root) return;
    for (size_t i = 0; i < m_records.size(); ++i) reinterpret_cast<OwnedRecord*>(m_records[i])->slot = static_cast<uint32_t>(i);
    struct Walk {
        const GeometryIndex& ix;
        std::vector<uint32_t> list;
        size_t Words(const Node* n, size_t& quads) const {
            size_t w = BlockWords(n->leaf.size(), n->covering.size() + n->leaf.size());
            if (n->children) {
                ++quads;
                for (int c = 0; c < 4; ++c) w += Words(&n->children[c], quads);
            }
            return w;
        }
        // Each list's entries in id order, so a node's hits come sorted; writes their positions
        // and records from entry `from` on.
        void Put(const std::vector<NodeInfoType*>& from, uint32_t* block, size_t leaf, size_t entries, size_t at) {
            list.clear();
            for (const NodeInfoType* r : from) list.push_back(reinterpret_cast<const OwnedRecord*>(r)->slot);
            std::sort(list.begin(), list.end());
            for (size_t k = 0; k < list.size(); ++k) {
                block[PositionsAt(leaf) + at + k] = list[k];
                NodeInfoType* rec = ix.m_records[list[k]];
                std::memcpy(block + RecordsAt(leaf, entries) + 2 * (at + k), &rec, sizeof rec);
            }
        }
        void Fill(const Node* n, size_t at) {
            const size_t covering = n->covering.size(), leaf = n->leaf.size(), entries = covering + leaf, kp = Padded(leaf);
            double cx, cy;
            Centre(*n, cx, cy);
            FlatNode f{cx, cy, -1, static_cast<uint32_t>(ix.m_flatWords.size()),
                       static_cast<uint32_t>(covering), static_cast<uint32_t>(leaf)};
            // Padding never passes a comparison.
            ix.m_flatWords.resize(f.first + BlockWords(leaf, entries), std::bit_cast<uint32_t>(std::numeric_limits<float>::quiet_NaN()));
            uint32_t* block = ix.m_flatWords.data() + f.first;
            if (entries) {
                Put(n->covering, block, leaf, entries, 0);
                Put(n->leaf, block, leaf, entries, covering);
            }
            for (size_t k = 0; k < leaf; ++k) {
                const Box& rb = *RecordAt(block + RecordsAt(leaf, entries), covering + k)->box;
                block[k] = std::bit_cast<uint32_t>(FloatDown(rb.minx));
                block[kp + k] = std::bit_cast<uint32_t>(FloatDown(rb.miny));
                block[2 * kp + k] = std::bit_cast<uint32_t>(FloatUp(rb.maxx));
                block[3 * kp + k] = std::bit_cast<uint32_t>(FloatUp(rb.maxy));
            }
            if (n->children) {
                f.children = static_cast<int32_t>(4 * ix.m_flatNodes.size());
                ix.m_flatNodes.emplace_back();
            }
            ix.m_flatNodes[at >> 2].child[at & 3] = f;
            if (n->children)
                for (int c = 0; c < 4; ++c) Fill(&n->children[c], static_cast<size_t>(f.children) + c);
        }
    };
    Walk walk{*this, {}};
    // Sized first, so the copy is one allocation, made of huge pages when large: a query reads a
    // few blocks scattered over it.
    size_t quads = 1;
    const size_t words = walk.Words(m_root, quads);
    m_flatWords.reserve(words);
    detail::AdviseHugePages(m_flatWords.data(), words * sizeof(uint32_t));
    m_flatNodes.reserve(quads);
    detail::AdviseHugePages(m_flatNodes.data(), quads * sizeof(FlatQuad));
    // The root is alone in the first four; children are laid out four at a time when their
    // parent is visited, blocks depth first.
    m_flatNodes.emplace_back();
    walk.Fill(m_root, 0);
    m_flatValid = true;
}

int GeometryIndex::PointQuery(const Point3D& p, CNodeInfoArray& out) const {
    out.clear();
    if (m_box.IsEmpty() || !m_box.contain(p.x, p.y)) return 0;
    // A point is the query box of no size: its 1e-8 margin is exactly the containment tolerance.
    return BoxQuery(Box(p.x, p.y, p.x, p.y), out);
}

int GeometryIndex::BoxRelatedQuery(const Box& box, CNodeInfoArray& out, double tol) const {
    out.clear();
    if (m_box.IsEmpty() || !m_root || box.IsEmpty()) return 0;
    double bound = tol;
    std::vector<NodeInfoType*> found;
    found.reserve(8);
    SearchNear(m_root, box, bound, found);
    std::vector<NodeInfoType*> near;
    near.reserve(found.size());
    for (NodeInfoType* r : found)
        if (MinDistance(box, *r->box) <= tol + kMargin) near.push_back(r);
    SortUnique(near, out);
    return out.GetSize();
}

int GeometryIndex::PointRelatedQuery(const Point3D& p, CNodeInfoArray& out, double tol) const {
    return BoxRelatedQuery(Box(p.x, p.y, p.x, p.y), out, tol);
}

}  // namespace kelo
