#include "relations/kelo_avl_ids.h"

#include <algorithm>

namespace kelo {

namespace {

int Count(const TAVLnode* n) { return n ? n->count : 0; }
int Depth(const TAVLnode* n) { return n ? n->depth : 0; }

void Refresh(TAVLnode* n) {
    n->count = Count(n->left) + Count(n->right) + 1;
    n->depth = 1 + std::max(Depth(n->left), Depth(n->right));
}

TAVLnode* RotateLeft(TAVLnode* n) {
    TAVLnode* r = n->right;
    n->right = r->left;
    r->left = n;
    Refresh(n);
    Refresh(r);
    return r;
}

TAVLnode* RotateRight(TAVLnode* n) {
    TAVLnode* l = n->left;
    n->left = l->right;
    l->right = n;
    Refresh(n);
    Refresh(l);
    return l;
}

TAVLnode* Balance(TAVLnode* n) {
    Refresh(n);
    int dl = Depth(n->left), dr = Depth(n->right);
    if (dr - dl > 1) {
        // The outer grandchild carries the height: one rotation lifts it; otherwise the inner
        // grandchild must be turned outward first.
        if (Depth(n->right->right) + 1 != n->right->depth) n->right = RotateRight(n->right);
        return RotateLeft(n);
    }
    if (dl - dr > 1) {
        if (Depth(n->left->left) + 1 != n->left->depth) n->left = RotateLeft(n->left);
        return RotateRight(n);
    }
    return n;
}

TAVLnode* Insert(TAVLnode* n, uint32_t id, bool& added) {
    if (!n) {
        added = true;
        return new TAVLnode{id, 1, 1, nullptr, nullptr};
    }
    if (id < n->id) n->left = Insert(n->left, id, added);
    else if (id > n->id) n->right = Insert(n->right, id, added);
    else return n;
    return added ? Balance(n) : n;
}

// Removes the node of rank i (known to exist) from the subtree.
TAVLnode* RemoveRank(TAVLnode* n, int i) {
    int here = Count(n->left);
    if (i < here) {
        n->left = RemoveRank(n->left, i);
    } else if (i > here) {
        n->right = RemoveRank(n->right, i - here - 1);
    } else {
        if (!n->left || !n->right) {
            TAVLnode* child = n->left ? n->left : n->right;
            delete n;
            return child;
        }
        // The largest id on the left keeps the order when it takes this node's place.
        const TAVLnode* m = n->left;
        while (m->right) m = m->right;
        n->id = m->id;
        n->left = RemoveRank(n->left, here - 1);
    }
    return Balance(n);
}

void FreeTree(TAVLnode* n) {
    while (n) {
        FreeTree(n->left);
        TAVLnode* r = n->right;
        delete n;
        n = r;
    }
}

void InOrder(const TAVLnode* n, std::vector<uint32_t>& out) {
    while (n) {
        InOrder(n->left, out);
        out.push_back(n->id);
        n = n->right;
    }
}

bool Contains(const TAVLnode* n, uint32_t id) {
    while (n) {
        if (id == n->id) return true;
        n = id < n->id ? n->left : n->right;
    }
    return false;
}

}  // namespace

CKeloAVLIds::CKeloAVLIds() : m_tree(new Tree) {}

CKeloAVLIds::CKeloAVLIds(const CKeloAVLIds& other) : m_tree(other.m_tree), m_pos(other.m_pos) {
    ++m_tree->owners;
}

CKeloAVLIds& CKeloAVLIds::operator=(const CKeloAVLIds& other) {
    if (m_tree != other.m_tree) {
        ++other.m_tree->owners;
        Release();
        m_tree = other.m_tree;
    }
    m_pos = other.m_pos;
    return *this;
}

CKeloAVLIds::~CKeloAVLIds() { Release(); }

void CKeloAVLIds::Release() {
    if (--m_tree->owners == 0) {
        FreeTree(m_tree->root);
        delete m_tree;
    }
    m_tree = nullptr;
}

int CKeloAVLIds::Add(uint32_t id) {
    bool added = false;
    m_tree->root = Insert(m_tree->root, id, added);
    return added ? 1 : 0;
}

int CKeloAVLIds::GetPos(uint32_t id) const {
    int rank = 0;
    for (const TAVLnode* n = m_tree->root; n;) {
        if (id == n->id) return rank + Count(n->left);
        if (id < n->id) {
            n = n->left;
        } else {
            rank += Count(n->left) + 1;
            n = n->right;
        }
    }
    return -1;
}

uint32_t CKeloAVLIds::GetAt(int i) const {
    if (i < 0 || i >= GetSize()) return 0xFFFFFFFFu;
    const TAVLnode* n = m_tree->root;
    while (n) {
        int here = Count(n->left);
        if (i == here) return n->id;
        if (i < here) {
            n = n->left;
        } else {
            i -= here + 1;
            n = n->right;
        }
    }
    return 0xFFFFFFFFu;
}

int CKeloAVLIds::GetSize() const { return Count(m_tree->root); }

int CKeloAVLIds::GetAll(std::vector<uint32_t>& out) {
    out.clear();
    out.reserve(static_cast<size_t>(GetSize()));
    InOrder(m_tree->root, out);
    m_pos = static_cast<int>(out.size());
    return m_pos;
}

int CKeloAVLIds::RemoveAt(int i) {
    if (i < 0 || i >= GetSize()) return 0;
    m_tree->root = RemoveRank(m_tree->root, i);
    return 1;
}

int CKeloAVLIds::RemoveID(uint32_t id) { return RemoveAt(GetPos(id)); }

void CKeloAVLIds::RemoveAll() {
    FreeTree(m_tree->root);
    m_tree->root = nullptr;
    m_pos = 0;
}

void CKeloAVLIds::Collect(std::vector<uint32_t>& out) const { InOrder(m_tree->root, out); }

void CKeloAVLIds::Append(const CKeloAVLIds& other) {
    if (other.m_tree == m_tree) return;  // every id is present already
    // Root first, then each side in order, so a sorted run does not all land on one edge of the
    // tree before it rebalances.
    const TAVLnode* root = other.m_tree->root;
    if (!root) return;
    std::vector<uint32_t> ids;
    InOrder(root->left, ids);
    for (uint32_t id : ids) Add(id);
    Add(root->id);
    ids.clear();
    InOrder(root->right, ids);
    for (uint32_t id : ids) Add(id);
}

void CKeloAVLIds::Copy(const CKeloAVLIds& other) {
    if (other.m_tree == m_tree) return;
    RemoveAll();
    Append(other);
}

int CKeloAVLIds::SetOp(const CKeloAVLIds& other, int op) {
    if (GetSize() == 0 && other.GetSize() == 0) return 0;
    switch (op) {
    case klSetUnion: Append(other); return 1;
    case klSetIntersection: {
        const CKeloAVLIds& small = GetSize() <= other.GetSize() ? *this : other;
        const CKeloAVLIds& large = &small == this ? other : *this;
        std::vector<uint32_t> ids;
        small.Collect(ids);
        TAVLnode* kept = nullptr;
        for (uint32_t id : ids) {
            bool added = false;
            if (Contains(large.m_tree->root, id)) kept = Insert(kept, id, added);
        }
        FreeTree(m_tree->root);
        m_tree->root = kept;
        return 1;
    }
    case klSetDifference: {
        std::vector<uint32_t> ids;
        Collect(ids);
        TAVLnode* kept = nullptr;
        for (uint32_t id : ids) {
            bool added = false;
            if (!Contains(other.m_tree->root, id)) kept = Insert(kept, id, added);
        }
        FreeTree(m_tree->root);
        m_tree->root = kept;
        return 1;
    }
    default: return 0;
    }
}

int CKeloAVLIds::SetOp(const CKeloAVLIds* other, int op) { return other ? SetOp(*other, op) : 0; }

}  // namespace kelo
