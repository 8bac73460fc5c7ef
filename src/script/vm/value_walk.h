// Internal: a cursor over the element cells of one container or point, so that copying,
// comparing, printing and counting walk nested values with an explicit stack instead of native
// recursion (a script can nest arrays far deeper than the native stack allows).
#pragma once

#include <cstddef>
#include <cstdint>

#include "script/vm/tdata.h"

namespace kelo::detail {

// Kinds of values that hold cells of their own.
inline bool HoldsCells(int32_t t) { return (t >= kTypeArray && t <= kTypeMultimap) || t == kTypePoint; }
inline bool IsPairContainer(int32_t t) { return t == kTypeMap || t == kTypeMultimap; }

// Walks the elements of a payload in order; a map yields each pair once (key() and value()).
// The cursor keeps the payload pointer, not the cell, so it stays valid when the store moves.
class CellCursor {
public:
    CellCursor() = default;
    explicit CellCursor(const Tdata& v) : CellCursor(v.dataType, v.value) {}
    CellCursor(int32_t type, Tdata::Value payload) : type_(type), value_(payload) {
        switch (type_) {
            case kTypeSet: s_ = value_.set->begin(); break;
            case kTypeMultiset: ms_ = value_.mset->begin(); break;
            case kTypeMap: m_ = value_.map->begin(); break;
            case kTypeMultimap: mm_ = value_.mmap->begin(); break;
            default: break;
        }
    }

    int32_t type() const { return type_; }
    size_t size() const {
        switch (type_) {
            case kTypeArray: return value_.a->size();
            case kTypeSet: return value_.set->size();
            case kTypeMultiset: return value_.mset->size();
            case kTypeMap: return value_.map->size();
            case kTypeMultimap: return value_.mmap->size();
            case kTypePoint: return 3;
            default: return 0;
        }
    }
    bool done() const {
        switch (type_) {
            case kTypeArray: return i_ >= value_.a->size();
            case kTypeSet: return s_ == value_.set->end();
            case kTypeMultiset: return ms_ == value_.mset->end();
            case kTypeMap: return m_ == value_.map->end();
            case kTypeMultimap: return mm_ == value_.mmap->end();
            case kTypePoint: return i_ >= 3;
            default: return true;
        }
    }
    // The element (the key, for maps).
    int32_t key() const {
        switch (type_) {
            case kTypeArray: return (*value_.a)[i_];
            case kTypeSet: return *s_;
            case kTypeMultiset: return *ms_;
            case kTypeMap: return m_->first;
            case kTypeMultimap: return mm_->first;
            case kTypePoint: return value_.pt[i_];
            default: return -1;
        }
    }
    int32_t value() const { return type_ == kTypeMap ? m_->second : mm_->second; }
    void next() {
        switch (type_) {
            case kTypeSet: ++s_; break;
            case kTypeMultiset: ++ms_; break;
            case kTypeMap: ++m_; break;
            case kTypeMultimap: ++mm_; break;
            default: ++i_; break;
        }
    }

private:
    int32_t type_ = kTypeVoid;
    Tdata::Value value_{};
    size_t i_ = 0;
    ScriptIndexSet::const_iterator s_;
    ScriptIndexMultiset::const_iterator ms_;
    ScriptIndexMap::const_iterator m_;
    ScriptIndexMultimap::const_iterator mm_;
};

}  // namespace kelo::detail
