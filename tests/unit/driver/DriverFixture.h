#pragma once

#include <gtest/gtest.h>

#include <velkora/ipcapture.h>

#include "driver/CVerintIPCaptureDriver.h"
#include "host/DebugOutput.h"
#include "host/DeviceSettings.h"
#include "host/Frames.h"

// A driver made through the export, opened with reference host objects.
class DriverFixture : public ::testing::Test
{
protected:
    DriverFixture()
    {
        record.address = "10.0.0.5";
        record.port = 80;
        record.model = "ABC-1";
        record.parameters = {"0", "1.0"};
    }
    ~DriverFixture() override { DeleteIPCapture(driver); }

    bool Open()
    {
        settings = std::make_unique<host::DeviceSettings>(record);
        return driver->Open(&output, &frames, settings.get());
    }
    velkora::IDriver& Context() { return *dynamic_cast<velkora::IDriver*>(driver); }

    velkora::ipcapture::IIPCaptureDriver* driver = CreateIPCapture();
    host::DebugOutput output;
    host::FrameFactory frames;
    host::DeviceRecord record;
    std::unique_ptr<host::DeviceSettings> settings;
};
