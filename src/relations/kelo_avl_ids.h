// A set of unsigned 32-bit ids in a height-balanced binary tree whose nodes count their subtree,
// so ranks and positions are found in logarithmic time.
#pragma once

#include <cstdint>
#include <vector>

#include "kelo_api.h"
#include "relations/set_operation_type.h"

namespace kelo {

struct TAVLnode {
    uint32_t id;
    int count;  // nodes in this subtree, itself included
    int depth;  // height of this subtree, 1 for a leaf
    TAVLnode* left;
    TAVLnode* right;
};

class KELO_API CKeloAVLIds {
public:
    CKeloAVLIds();
    // Copying shares the tree: both sets then see every later change, and the tree is freed with
    // the last set that holds it.
    CKeloAVLIds(const CKeloAVLIds& other);
    CKeloAVLIds& operator=(const CKeloAVLIds& other);
    virtual ~CKeloAVLIds();

    // 1 when the id was added, 0 when it was present already.
    int Add(uint32_t id);
    // Rank of the id in ascending order, or -1 when absent.
    int GetPos(uint32_t id) const;
    // The id of rank i, or 0xFFFFFFFF when i is out of range.
    uint32_t GetAt(int i) const;
    uint32_t operator[](int i) const { return GetAt(i); }
    int GetSize() const;
    // Fills out with every id ascending (out is emptied first); returns the count.
    int GetAll(std::vector<uint32_t>& out);
    // 1 when something was removed, else 0.
    int RemoveAt(int i);
    int RemoveID(uint32_t id);
    void RemoveAll();
    void Append(const CKeloAVLIds& other);
    void Copy(const CKeloAVLIds& other);
    // 0 when both sets are empty or the code is unknown (nothing changes then), else 1.
    int SetOp(const CKeloAVLIds& other, int op);
    int SetOp(const CKeloAVLIds* other, int op);

    const TAVLnode* GetRoot() const { return m_tree->root; }

private:
    struct Tree {
        TAVLnode* root = nullptr;
        int owners = 1;
    };
    void Release();
    // The ids in order into out, without touching the tree.
    void Collect(std::vector<uint32_t>& out) const;

    Tree* m_tree;
    int m_pos = 0;  // write position while listing
};

}  // namespace kelo
