// A region quadtree over the boxes of records keyed by unsigned 32-bit ids, answering box, point
// and nearest-box queries. Records whose box covers a whole node sit on that node's covering
// list; others sit on the leaves their box touches, so a record may appear on several lists.
#pragma once

#include <cstddef>
#include <cstdint>

#include "geometry/box.h"
#include "geometry/point.h"
#include "kelo_api.h"
#include "relations/node_info.h"

namespace kelo {

struct GeometryIndexNode {
    std::vector<NodeInfoType*> covering;  // records whose inflated box covers this whole node
    std::vector<NodeInfoType*> leaf;      // records stored at a leaf
    // Four children (0 lower-left, 1 lower-right, 2 upper-left, 3 upper-right), null for a leaf.
    GeometryIndexNode* children = nullptr;
    Box box;  // the extent this node covers
};

class KELO_API GeometryIndex {
public:
    GeometryIndex();
    GeometryIndex(const Box& box, int size, int level);
    GeometryIndex(const GeometryIndex&) = delete;
    GeometryIndex& operator=(const GeometryIndex&) = delete;
    ~GeometryIndex();

    // Meant for an index without records: the tree starts again empty, and records added before
    // are not put into it.
    void SetSizeLevel(int size, int level);

    // Adds or replaces one record; a null box does nothing, an empty box deletes the id.
    void Add(const Box* box, uint32_t id);
    void Add(int count, const NodeInfoType* records);
    void Delete(uint32_t id);

    // Each query empties out first and fills it with borrowed records sorted by id; they return
    // the count.
    int BoxQuery(const Box& box, CNodeInfoArray& out) const;
    int PointQuery(const Point3D& p, CNodeInfoArray& out) const;
    // Records within tol of the query, searched nearest first: once a record is sure to lie
    // nearer than tol, branches farther than that record are skipped, so the result always
    // holds the nearest records but not necessarily all within tol.
    int BoxRelatedQuery(const Box& box, CNodeInfoArray& out, double tol) const;
    int PointRelatedQuery(const Point3D& p, CNodeInfoArray& out, double tol) const;

    const CNodeInfoArray& GetNodeInfoArray() const { return m_records; }
    const Box& GetBox() const { return m_box; }
    int GetSize() const { return m_size; }
    int GetLevel() const { return m_level; }
    const GeometryIndexNode* GetRoot() const { return m_root; }

private:
    void GrowRootFor(const Box& b);
    void Insert(NodeInfoType* rec);
    void RemoveFromTree(NodeInfoType* rec);
    void FreeTree();
    void Reserve(size_t extra);

    int m_size = 30;
    int m_level = 10;
    Box m_box;
    GeometryIndexNode* m_root = nullptr;
    CNodeInfoArray m_records;
    int m_growBy = 0;  // growth step of the record array; 0 leaves it to the array

    // A compact copy of the tree for box queries: nodes with their four children side by side in
    // two cache lines, and per node one block of words: the leaf entries' boxes as floats
    // rounded outward, min x, min y, max x and max y each in a run of their own so a node is
    // tested in one tight loop, then the positions of its records in the id-sorted array
    // (covering, then leaf) and the records themselves. A query then reads each node's block
    // front to back instead of three places.
    // It is made once the tree has answered enough queries since it last changed, so edits
    // interleaved with queries never pay for it, and dropped by every edit.
    struct FlatNode {
        double cx, cy;     // the centre that splits the node
        int32_t children;  // index of the first of four, -1 for a leaf
        uint32_t first;    // the node's block
        uint32_t covering, leaf;
    };
    struct alignas(128) FlatQuad {
        FlatNode child[4];
    };
    void Changed();
    void Flatten() const;
    mutable std::vector<FlatQuad> m_flatNodes;  // the root is the first of the first four
    mutable std::vector<uint32_t> m_flatWords;
    mutable bool m_flatValid = false;
    mutable size_t m_queriesSinceChange = 0;
};

}  // namespace kelo
