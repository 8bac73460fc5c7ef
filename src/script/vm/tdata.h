// The KeloScript value: a 16-byte tagged record. Containers hold cell indices into the value store
// of the running engine, never values, so every container element is itself a cell.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "geometry/box.h"
#include "geometry/point.h"
#include "kelo_api.h"

namespace kelo {

// Type codes; the numbers are part of the language (getDataType, the TYPE_ constants).
enum : int32_t {
    kTypeVoid = -1,
    kTypeBool = 0,
    kTypeInt = 1,
    kTypeDouble = 2,
    kTypeString = 3,
    kTypeArray = 4,
    kTypeSet = 5,
    kTypeMap = 6,
    kTypeMultiset = 7,
    kTypeMultimap = 8,
    kTypePoint = 9,
    kTypeView = 10,
    kTypeGeoset = 11,
    kTypeDb = 12,
    kTypeLayer = 13,
    kTypeFeature = 14,
    kTypeAnnotation = 15,
    kTypeStyle = 16,
    kTypeGeometry = 17,
    kTypePolygon = 18,
    kTypeParts = 19,
    kTypePoints = 20,
    kTypeBox = 21,
    kTypeDialog = 22,
    kTypeRgn = 23,
    kTypeFile = 24,
    kTypeClean = 25,
    kTypeGis = 26,
    kTypeGdt = 27,
    kTypeTrans = 28,
    kTypeCom = 29,
    kTypeHandle = 30,
    kTypeReference = 31,
};

inline constexpr int kScriptTypeNameCount = 31;

// Name of a type code as the language writes it ("int", "klPoint", ...); "void" for -1 and an
// empty text for codes without a name.
KELO_API const std::string& GetScriptTypeName(int32_t type);
// The type code of a type keyword, or -2 when the word names no type.
KELO_API int32_t FindScriptTypeCode(const std::string& name);

inline bool IsHandleType(int32_t t) { return t >= kTypeView && t <= kTypeHandle; }
// Handles whose payload belongs to the host (every handle type except the box).
inline bool IsHostHandleType(int32_t t) { return IsHandleType(t) && t != kTypeBox; }
inline bool IsContainerType(int32_t t) { return t >= kTypeArray && t <= kTypeMultimap; }

// Orders cells of the current engine's store by the value they hold (see compare).
struct KELO_API klscript_comparer {
    bool operator()(int32_t a, int32_t b) const;
};

// Tree nodes of one size, handed out from large blocks and kept for reuse once freed; any thread
// may take or give back a node. (Exported: host code that builds sets and maps allocates with it.)
KELO_API void* TakeScriptNode(size_t bytes);
KELO_API void GiveScriptNode(void* node, size_t bytes) noexcept;

// The allocator of the script's sets and maps. A map of 300 000 entries is 300 000 small nodes:
// taken from blocks that arrive in 2 MB pages they cost no general allocation and a fraction of
// the page faults, and they lie closer together for the searches.
template <typename T>
struct ScriptNodeAllocator {
    using value_type = T;
    ScriptNodeAllocator() noexcept = default;
    template <typename U>
    ScriptNodeAllocator(const ScriptNodeAllocator<U>&) noexcept {}
    T* allocate(size_t n) {
        if (n == 1) return static_cast<T*>(TakeScriptNode(sizeof(T)));
        return std::allocator<T>().allocate(n);
    }
    void deallocate(T* p, size_t n) noexcept {
        if (n == 1) GiveScriptNode(p, sizeof(T));
        else std::allocator<T>().deallocate(p, n);
    }
    template <typename U>
    bool operator==(const ScriptNodeAllocator<U>&) const noexcept {
        return true;
    }
    template <typename U>
    bool operator!=(const ScriptNodeAllocator<U>&) const noexcept {
        return false;
    }
};

using ScriptIndexList = std::vector<int32_t>;
using ScriptIndexSet = std::set<int32_t, klscript_comparer, ScriptNodeAllocator<int32_t>>;
using ScriptIndexMap =
    std::map<int32_t, int32_t, klscript_comparer, ScriptNodeAllocator<std::pair<const int32_t, int32_t>>>;
using ScriptIndexMultiset = std::multiset<int32_t, klscript_comparer, ScriptNodeAllocator<int32_t>>;
using ScriptIndexMultimap =
    std::multimap<int32_t, int32_t, klscript_comparer, ScriptNodeAllocator<std::pair<const int32_t, int32_t>>>;

class KELO_API Tdata {
public:
    int32_t dataType;
    union Value {
        bool b;
        int32_t i;
        double d;
        std::string* s;
        ScriptIndexList* a;
        ScriptIndexSet* set;
        ScriptIndexMap* map;
        ScriptIndexMultiset* mset;
        ScriptIndexMultimap* mmap;
        int32_t* pt;   // x, y, z cell indices
        double* box;   // min x, min y, max x, max y
        void* handle;  // host handle
        int32_t ref;   // cell index of the aliased cell
    } value;

    // Inline: the store constructs millions of cells and operators build scalar results.
    Tdata() : dataType(kTypeVoid) { value.d = 0; }
    Tdata(bool v) : dataType(kTypeBool) {
        value.d = 0;
        value.b = v;
    }
    Tdata(int v) : dataType(kTypeInt) {
        value.d = 0;
        value.i = v;
    }
    Tdata(double v) : dataType(kTypeDouble) { value.d = v; }
    Tdata(const std::string& v);
    Tdata(const char* v);
    Tdata(const ScriptIndexList& v);
    Tdata(const ScriptIndexSet& v);
    Tdata(const ScriptIndexMap& v);
    Tdata(const ScriptIndexMultiset& v);
    Tdata(const ScriptIndexMultimap& v);
    Tdata(int x, int y, int z);
    // Allocates three cells in the current engine; without one the value stays uninitialised.
    Tdata(const Point3D& p);
    Tdata(int type, void* pointer);
    Tdata(const Tdata& other);
    Tdata& operator=(const Tdata& other);
    // Scalars, handles and references own nothing; the inline paths keep them off the call
    // path of every instruction.
    ~Tdata() {
        if (OwnsPayload(dataType)) freePayload();
    }

    static bool OwnsPayload(int32_t t) { return (t >= 3 && t <= 9) || t == 21; }

    // For fresh values: gives the type an empty payload but does not free an old one.
    void setDataType(int t);
    void changeDataType(int t) {
        if (!OwnsPayload(dataType) && !OwnsPayload(t)) {
            dataType = t;
            value.d = 0;
            return;
        }
        changeDataTypeSlow(t);
    }
    // The host-side shallow copy: container elements stay shared with src.
    void copyFrom(const Tdata& src) {
        if (!OwnsPayload(dataType) && !OwnsPayload(src.dataType)) {
            dataType = src.dataType;
            value = src.value;
            return;
        }
        copyFromSlow(src);
    }

    Point3D getPoint() const;
    void setPoint(const Point3D& p);
    // The cell named by element i; the caller keeps i within the size.
    Tdata& array(int i);
    void setArraySize(int n);

private:
    void freePayload();
    void changeDataTypeSlow(int t);
    void copyFromSlow(const Tdata& src);
};
static_assert(sizeof(Tdata) == 16, "a script value is 16 bytes");

}  // namespace kelo
