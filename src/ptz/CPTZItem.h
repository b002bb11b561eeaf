#pragma once

#include <cstdint>

class IIPParams;

namespace velkora {

// Request type codes carried in CPTZItem::type.
enum PTZItemType : uint32_t
{
    kPTZMove = 1,
    kPTZFocus = 2,
    kPTZIris = 3,
    kPTZStop = 4,
    kPTZAreaZoom = 5,
    kPTZCenter = 6,
    kPTZUnzoom = 7,
};

// Sub-codes carried in CPTZItem::action.
enum PTZItemAction : uint32_t
{
    kPTZFocusFalse = 1,
    kPTZFocusTrue = 2,
    kPTZIrisTrue = 3,
    kPTZIrisFalse = 4,
    kPTZStopMoving = 5,
    kPTZStopZooming = 6,
    kPTZStopFocusing = 7,
    kPTZStopIrisChanging = 8,
};

// Direction codes of a move, named by the sign of the speed each axis is sent:
// 0..7 pan/tilt, 8 and 9 zoom, 10 none.
enum PTZDirection : uint32_t
{
    kPTZPanMinus = 0,
    kPTZPanPlus = 1,
    kPTZTiltPlus = 2,
    kPTZTiltMinus = 3,
    kPTZPanMinusTiltPlus = 4,
    kPTZPanPlusTiltPlus = 5,
    kPTZPanMinusTiltMinus = 6,
    kPTZPanPlusTiltMinus = 7,
    kPTZZoomDirectionA = 8,
    kPTZZoomDirectionB = 9,
    kPTZNoDirection = 10,
};

// One queued PTZ request; owned by the worker's queue once posted.
class CPTZItem
{
public:
    CPTZItem() = default;
    CPTZItem(uint32_t type, uint32_t action, IIPParams* sender, int32_t speed, uint32_t arg1 = 0, uint32_t arg2 = 0,
             uint32_t arg3 = 0)
        : type(type), action(action), sender(sender), speed(speed), arg1(arg1), arg2(arg2), arg3(arg3)
    {
    }
    virtual ~CPTZItem() = default;

    uint32_t type = 0;
    uint32_t action = 0;
    IIPParams* sender = nullptr;  // carried along, never read by the worker
    int32_t speed = 0;
    uint32_t arg1 = 0;
    uint32_t arg2 = 0;
    uint32_t arg3 = 0;
};

}  // namespace velkora
