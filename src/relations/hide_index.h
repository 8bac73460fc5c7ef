// A fixed grid of numbered cells over the plane. A cell id is row * 10000 + column; column 0
// gathers everything left of the origin and column 9999 everything from 9998 cells onward, and
// rows likewise, so every point has a cell.
#pragma once

#include <cstdint>

#include "geometry/box.h"
#include "kelo_api.h"
#include "relations/kelo_ids.h"

namespace kelo {

class GM_Object;

class KELO_API CKeloHideIndexBase {
public:
    CKeloHideIndexBase() = default;
    virtual ~CKeloHideIndexBase();

    int Create(double originX, double originY, double cellWidth, double cellHeight, double scale);
    // Fields separated by '#': 1 cell width, 2 origin x, 4 cell height, 5 origin y, 6 scale (the
    // others are ignored); both cell sizes are then taken at scale / 1000.
    int CreateFromLayerMemo(const char* text);

    uint32_t GetCellId(double x, double y) const;
    Box GetCellBox(uint32_t id) const;
    // Adds the cell's box to box.
    void ExpandBox(uint32_t id, Box& box) const;
    // Every cell from the one of the lower-left corner to the one of the upper-right corner;
    // returns how many ids ids holds (cell 0 is never held, as CKeloIds refuses id 0).
    int GetCellIds(const Box* box, CKeloIds& ids) const;
    // The cells of the box that the object actually meets.
    int GetCellIds(const GM_Object* object, CKeloIds& ids) const;

    double GetOriginX() const { return m_originX; }
    double GetOriginY() const { return m_originY; }
    double GetCellWidth() const { return m_cellWidth; }
    double GetCellHeight() const { return m_cellHeight; }
    double GetScale() const { return m_scale; }

private:
    double m_originX = 0;
    double m_originY = 0;
    double m_cellHeight = 0;
    double m_cellWidth = 0;
    double m_scale = 0;
};

}  // namespace kelo
