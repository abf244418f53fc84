// Raster mode of the Canon Bubble Jet counter: three handler classes over one
// command stream, reached through a tree of command nodes. Every command is
// traced to standard output; only form feeds, the colour commands and the
// page-margin commands change what is counted.
#pragma once

#include <cstdint>

#include "escp/canon.h"

namespace qm::canon {

// Common base of the raster handlers: one operation per raster command, each
// reading its own arguments from the stream. The base versions consume
// nothing and answer 1.
class RasterCommandHandler {
public:
    explicit RasterCommandHandler(CommandStream& stream) : stream_(stream) {}
    RasterCommandHandler(const RasterCommandHandler&) = delete;
    RasterCommandHandler& operator=(const RasterCommandHandler&) = delete;
    virtual ~RasterCommandHandler() = default;

    virtual int LineFeed() { return 1; }
    virtual int FormFeed() { return 1; }
    virtual int CarriageReturn() { return 1; }
    virtual int SetDataCompression() { return 1; }
    virtual int SetRasterResolution() { return 1; }
    virtual int RasterSkip() { return 1; }
    virtual int ColorPalette() { return 1; }
    virtual int MoveByRasterLine() { return 1; }
    virtual int SetUnitForMoveByRasterLine() { return 1; }
    virtual int CMYKRasterImage() { return 1; }
    virtual int PaletteRasterImage() { return 1; }
    virtual int RasterImageWithoutColorSelection() { return 1; }
    virtual int SetPageMode() { return 1; }
    virtual int SetPageMargins() { return 1; }
    virtual int SetExtendedPageMargins() { return 1; }
    virtual int SetInitialCondition() { return 1; }
    virtual int ReturnToEmulation() { return 1; }
    virtual int SetPrintingMethod() { return 1; }
    virtual int SetMediaSupplyMethod() { return 1; }
    virtual int IndentifyInkCartridge() { return 1; }
    virtual int SetPageID() { return 1; }

protected:
    CommandStream& stream_;
};

// Group 1: page mode and margins; holds what a raster run counted.
class RasterPageHandler : public virtual RasterCommandHandler {
public:
    explicit RasterPageHandler(CommandStream& stream) : RasterCommandHandler(stream) {}

    int SetPageMode() override;
    int SetPageMargins() override;
    int SetExtendedPageMargins() override;

    void AddPage() { ++pages; }
    void SetColor() { color = 1; }

    uint32_t pages = 0;
    uint8_t color = 0;
    // Page length in dots of `lengthResolution` per inch; the margin commands
    // give it in dots of the vertical raster resolution in force then.
    float pageLength = 3960.0f;
    float lengthResolution = 360.0f;
    float pageWidth = 3060.0f;  // 1/360 inch; no raster command sets it
};

// Group 2: line movement and image data; owns the hook for unknown bytes.
class RasterImageHandler : public virtual RasterCommandHandler {
public:
    explicit RasterImageHandler(CommandStream& stream) : RasterCommandHandler(stream) {}

    int LineFeed() override;
    int FormFeed() override;
    int CarriageReturn() override;
    int SetDataCompression() override;
    int SetRasterResolution() override;
    int RasterSkip() override;
    int ColorPalette() override;
    int MoveByRasterLine() override;
    int SetUnitForMoveByRasterLine() override;
    int CMYKRasterImage() override;
    int PaletteRasterImage() override;
    int RasterImageWithoutColorSelection() override;

    void UnknownCommand(uint8_t code);

    uint16_t horizontalResolution = 360;
    uint16_t verticalResolution = 360;
    uint8_t compression = 0;  // traced only; nothing changes it
};

// Group 4: initial condition, mode switch and the commands only traced.
class RasterControlHandler : public virtual RasterCommandHandler {
public:
    explicit RasterControlHandler(CommandStream& stream) : RasterCommandHandler(stream) {}

    int SetInitialCondition() override;
    int ReturnToEmulation() override;
    int SetPrintingMethod() override;
    int SetMediaSupplyMethod() override;
    int IndentifyInkCartridge() override;
    int SetPageID() override;
};

using RasterOperation = int (RasterCommandHandler::*)();

// One node of the raster command tree. A list of nodes ends with a node whose
// byte is NUL and which has neither child nor operation; it matches any byte
// that the list does not hold (NUL included).
struct RasterCommandNode {
    uint8_t byte;
    uint8_t group;  // 1 page, 2 image, 4 control; unused where there is a child
    const RasterCommandNode* child;
    RasterOperation operation;
};

// The root list of the tree.
const RasterCommandNode* RasterCommandRoot() noexcept;

// The node of `list` for `code`: the first match, or the list's end node.
const RasterCommandNode& FindRasterNode(const RasterCommandNode* list, uint8_t code) noexcept;

}  // namespace qm::canon
