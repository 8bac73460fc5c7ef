#include "script/vm/tdata.h"

#include <sys/mman.h>

#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

#include "platform/huge_pages.h"

#include "script/vm/engine_pointer.h"
#include "script/vm/script_engine.h"
#include "script/vm/value_ops.h"

namespace kelo {

namespace {

// Built once at load, in type-code order; freed at unload with the other statics.
struct TypeNames {
    std::vector<std::string> names;
    std::unordered_map<std::string, int32_t> codes;
    TypeNames() {
        static const char* const kNames[kScriptTypeNameCount] = {
            "bool",    "int",       "double",  "string",       "array",   "set",       "map",    "multiset",
            "multimap", "klPoint",  "klView",  "klGeoset",     "klDb",    "klLayer",   "klFeature",
            "klAnnotation", "klStyle", "klGeometry", "klPolygon", "klParts", "klPoints", "klBox", "klDialog",
            "klRgn",   "klFile",    "klClean", "klGis",        "klGdt",   "klTrans",   "klCom",  "klHandle"};
        for (int i = 0; i < kScriptTypeNameCount; ++i) {
            names.emplace_back(kNames[i]);
            codes.emplace(kNames[i], i);
        }
    }
};

const TypeNames& Types() {
    static const TypeNames t;
    return t;
}

// Forces the table to be built while the library loads rather than on first use.
[[maybe_unused]] const TypeNames& kBuiltAtLoad = Types();


// Node pools, one per size in 8-byte steps. Blocks are never returned: a freed node goes on the
// free list of the thread that frees it, and the blocks stay reachable from the block list, so a
// node may move between threads. When a thread ends, its free lists go to a shared spare list
// that the next thread short of nodes takes over: a host that runs scripts on passing worker
// threads would otherwise lose every node those threads freed.
constexpr size_t kNodeStep = 8;
constexpr size_t kNodeClasses = 12;  // nodes up to 96 bytes
constexpr size_t kNodeBlockBytes = size_t{4} << 20;

struct FreeNode {
    FreeNode* next;
};

struct NodeCache {
    FreeNode* free[kNodeClasses] = {};
    char* cursor = nullptr;
    char* end = nullptr;
};
thread_local NodeCache t_nodes;

std::mutex g_nodeBlockMutex;
std::vector<void*>* g_nodeBlocks = nullptr;  // never destroyed: nodes may outlive static teardown
FreeNode* g_spareNodes[kNodeClasses] = {};    // under g_nodeBlockMutex

// Hands the ending thread's free lists to the spare lists. The cache itself is trivially
// destructible and stays usable, so a node freed later in the thread's teardown still has a home.
struct NodeCacheReturn {
    ~NodeCacheReturn() {
        NodeCache& t = t_nodes;
        std::lock_guard<std::mutex> lock(g_nodeBlockMutex);
        for (size_t c = 0; c < kNodeClasses; ++c) {
            FreeNode* head = t.free[c];
            if (head == nullptr) continue;
            FreeNode* tail = head;
            while (tail->next != nullptr) tail = tail->next;
            tail->next = g_spareNodes[c];
            g_spareNodes[c] = head;
            t.free[c] = nullptr;
        }
    }
};

// Called whenever a thread's free lists may start to hold nodes: its first use registers the
// return at thread end.
void ArmNodeCacheReturn() {
    thread_local NodeCacheReturn armed;
    (void)armed;
}

// The spare list of class c, taken whole into the thread's own; false when there is none.
bool AdoptSpareNodes(NodeCache& t, size_t c) {
    std::lock_guard<std::mutex> lock(g_nodeBlockMutex);
    if (g_spareNodes[c] == nullptr) return false;
    t.free[c] = g_spareNodes[c];
    g_spareNodes[c] = nullptr;
    return true;
}

// A block starts on a 2 MB boundary, so that its first page is already a huge one; what lies
// before the boundary is never touched and costs no memory.
void NewNodeBlock(NodeCache& t) {
    void* p = mmap(nullptr, kNodeBlockBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    detail::AdviseHugePages(p, kNodeBlockBytes);
    {
        std::lock_guard<std::mutex> lock(g_nodeBlockMutex);
        if (g_nodeBlocks == nullptr) g_nodeBlocks = new std::vector<void*>();
        g_nodeBlocks->push_back(p);
    }
    constexpr uintptr_t kHuge = uintptr_t{1} << 21;
    const uintptr_t beg = (reinterpret_cast<uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
    t.cursor = reinterpret_cast<char*>(beg);
    t.end = static_cast<char*>(p) + kNodeBlockBytes;
}

}  // namespace

void* TakeScriptNode(size_t bytes) {
    const size_t c = (bytes + kNodeStep - 1) / kNodeStep;
    if (c >= kNodeClasses) return ::operator new(bytes);
    NodeCache& t = t_nodes;
    if (FreeNode* n = t.free[c]) {
        t.free[c] = n->next;
        return n;
    }
    const size_t size = c * kNodeStep;
    if (static_cast<size_t>(t.end - t.cursor) < size) {
        ArmNodeCacheReturn();
        if (AdoptSpareNodes(t, c)) {
            FreeNode* n = t.free[c];
            t.free[c] = n->next;
            return n;
        }
        NewNodeBlock(t);
    }
    void* n = t.cursor;
    t.cursor += size;
    return n;
}

void GiveScriptNode(void* node, size_t bytes) noexcept {
    const size_t c = (bytes + kNodeStep - 1) / kNodeStep;
    if (c >= kNodeClasses) {
        ::operator delete(node);
        return;
    }
    FreeNode* n = static_cast<FreeNode*>(node);
    if (t_nodes.free[c] == nullptr) ArmNodeCacheReturn();
    n->next = t_nodes.free[c];
    t_nodes.free[c] = n;
}

const std::string& GetScriptTypeName(int32_t type) {
    static const std::string kVoid = "void";
    static const std::string kNone;
    if (type == kTypeVoid) return kVoid;
    if (type < 0 || type >= kScriptTypeNameCount) return kNone;
    return Types().names[static_cast<size_t>(type)];
}

int32_t FindScriptTypeCode(const std::string& name) {
    const auto& c = Types().codes;
    auto it = c.find(name);
    return it == c.end() ? -2 : it->second;
}

bool klscript_comparer::operator()(int32_t a, int32_t b) const {
    ScriptEngine* e = detail::g_runningEngine;
    if (e == nullptr || !e->validCell(a) || !e->validCell(b)) return a < b;
    const Tdata& x = e->cells[a];
    const Tdata& y = e->cells[b];
    // Int keys are the common case of maps; everything else takes the general order.
    if (x.dataType == kTypeInt && y.dataType == kTypeInt) return x.value.i < y.value.i;
    return compare(x, y) < 0;
}

Tdata::Tdata(const std::string& v) : dataType(kTypeString) { value.s = new std::string(v); }
Tdata::Tdata(const char* v) : dataType(kTypeString) { value.s = new std::string(v ? v : ""); }
Tdata::Tdata(const ScriptIndexList& v) : dataType(kTypeArray) { value.a = new ScriptIndexList(v); }
Tdata::Tdata(const ScriptIndexSet& v) : dataType(kTypeSet) { value.set = new ScriptIndexSet(v); }
Tdata::Tdata(const ScriptIndexMap& v) : dataType(kTypeMap) { value.map = new ScriptIndexMap(v); }
Tdata::Tdata(const ScriptIndexMultiset& v) : dataType(kTypeMultiset) { value.mset = new ScriptIndexMultiset(v); }
Tdata::Tdata(const ScriptIndexMultimap& v) : dataType(kTypeMultimap) { value.mmap = new ScriptIndexMultimap(v); }

Tdata::Tdata(int x, int y, int z) : dataType(kTypePoint) { value.pt = new int32_t[3]{x, y, z}; }

Tdata::Tdata(const Point3D& p) : dataType(kTypeVoid) {
    value.d = 0;
    ScriptEngine* e = GetCurrentScriptEngine();
    if (e == nullptr) return;
    int32_t idx[3];
    const double c[3] = {p.x, p.y, p.z};
    for (int k = 0; k < 3; ++k) {
        idx[k] = e->allocCell();
        Tdata& cell = e->cells[idx[k]];
        cell.dataType = kTypeDouble;
        cell.value.d = c[k];
    }
    dataType = kTypePoint;
    value.pt = new int32_t[3]{idx[0], idx[1], idx[2]};
}

Tdata::Tdata(int type, void* pointer) : dataType(kTypeVoid) {
    value.d = 0;
    setDataType(type);
    if (type == kTypeBox) {
        Box def;
        const Box& b = pointer ? *static_cast<const Box*>(pointer) : def;
        value.box[0] = b.minx;
        value.box[1] = b.miny;
        value.box[2] = b.maxx;
        value.box[3] = b.maxy;
    } else if (!OwnsPayload(type)) {
        value.handle = pointer;
    }
}

Tdata::Tdata(const Tdata& other) : dataType(kTypeVoid) {
    value.d = 0;
    copyFrom(other);
}

Tdata& Tdata::operator=(const Tdata& other) {
    copyFrom(other);
    return *this;
}

void Tdata::freePayload() {
    switch (dataType) {
        case kTypeString: delete value.s; break;
        case kTypeArray: delete value.a; break;
        case kTypeSet: delete value.set; break;
        case kTypeMap: delete value.map; break;
        case kTypeMultiset: delete value.mset; break;
        case kTypeMultimap: delete value.mmap; break;
        case kTypePoint: delete[] value.pt; break;
        case kTypeBox: delete[] value.box; break;
        default: break;
    }
    value.d = 0;
}

void Tdata::setDataType(int t) {
    dataType = t;
    switch (t) {
        case kTypeString: value.s = new std::string(); break;
        case kTypeArray: value.a = new ScriptIndexList(); break;
        case kTypeSet: value.set = new ScriptIndexSet(); break;
        case kTypeMap: value.map = new ScriptIndexMap(); break;
        case kTypeMultiset: value.mset = new ScriptIndexMultiset(); break;
        case kTypeMultimap: value.mmap = new ScriptIndexMultimap(); break;
        case kTypePoint: value.pt = new int32_t[3]{0, 0, 0}; break;
        case kTypeBox: value.box = new double[4]{0, 0, 0, 0}; break;
        default: value.d = 0; break;
    }
}

void Tdata::changeDataTypeSlow(int t) {
    freePayload();
    dataType = kTypeVoid;
    setDataType(t);
}

void Tdata::copyFromSlow(const Tdata& src) {
    if (this == &src) return;
    changeDataType(src.dataType);
    switch (src.dataType) {
        case kTypeString: *value.s = *src.value.s; break;
        case kTypeArray: *value.a = *src.value.a; break;
        case kTypeSet: *value.set = *src.value.set; break;
        case kTypeMap: *value.map = *src.value.map; break;
        case kTypeMultiset: *value.mset = *src.value.mset; break;
        case kTypeMultimap: *value.mmap = *src.value.mmap; break;
        case kTypePoint: std::memcpy(value.pt, src.value.pt, 3 * sizeof(int32_t)); break;
        case kTypeBox: std::memcpy(value.box, src.value.box, 4 * sizeof(double)); break;
        default: std::memcpy(&value, &src.value, sizeof(value)); break;
    }
}

Point3D Tdata::getPoint() const {
    Point3D p{0, 0, 0};
    ScriptEngine* e = GetCurrentScriptEngine();
    if (dataType != kTypePoint || e == nullptr) return p;
    double* c[3] = {&p.x, &p.y, &p.z};
    for (int k = 0; k < 3; ++k) {
        int32_t i = e->resolve(value.pt[k]);
        if (!e->validCell(i)) continue;
        const Tdata& cell = e->cells[i];
        if (cell.dataType == kTypeDouble) *c[k] = cell.value.d;
        else if (cell.dataType == kTypeInt) *c[k] = cell.value.i;
        else if (cell.dataType == kTypeBool) *c[k] = cell.value.b ? 1.0 : 0.0;
    }
    return p;
}

void Tdata::setPoint(const Point3D& p) {
    ScriptEngine* e = GetCurrentScriptEngine();
    if (dataType != kTypePoint || e == nullptr) return;
    const double c[3] = {p.x, p.y, p.z};
    for (int k = 0; k < 3; ++k) {
        int32_t i = e->resolve(value.pt[k]);
        if (!e->validCell(i)) continue;
        e->cells[i].changeDataType(kTypeDouble);
        e->cells[i].value.d = c[k];
    }
}

Tdata& Tdata::array(int i) { return GetCurrentScriptEngine()->cells[(*value.a)[static_cast<size_t>(i)]]; }

void Tdata::setArraySize(int n) {
    if (dataType == kTypeVoid) setDataType(kTypeArray);
    if (dataType != kTypeArray) return;
    value.a->clear();
    ScriptEngine* e = GetCurrentScriptEngine();
    if (e == nullptr || n < 1) return;
    value.a->reserve(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) value.a->push_back(e->allocCell());
}

}  // namespace kelo
