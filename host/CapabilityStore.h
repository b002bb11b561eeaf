#pragma once
// The reference host's capability store: keeps what a capability query
// reports and turns it into the device file from which capture is opened.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <velkora/capabilityquery.h>

#include "host/DeviceSettings.h"

namespace host {

// Device files: the device record as JSON, what capture is opened from.
bool SaveDeviceFile(const std::string& path, const DeviceRecord& record);
bool LoadDeviceFile(const std::string& path, DeviceRecord& record);

class CapabilityStore : public velkora::ipcapture::IHostCapabilityStore
{
public:
    struct Property {
        std::string name;
        std::string value;
        uint32_t type = 0;
        uint32_t flag = 0;
    };
    struct ResolutionEntry {
        std::string text;
        uint32_t width = 0;
        uint32_t height = 0;
        uint32_t frameValue = 0;
    };

    CapabilityStore();
    ~CapabilityStore() override;

    void SetValue(uint32_t key, uint32_t value) override;
    void SetName(const char* name) override;
    velkora::ipcapture::IHostTextField* GetConnectionField(uint32_t index) override;
    velkora::ipcapture::IHostCapabilityProperty* CreateProperty(int32_t number) override;
    velkora::ipcapture::IHostResolutionList* GetResolutionList() override;
    velkora::ipcapture::IHostFramerateList* GetFramerateList(uint32_t stream) override;

    // The device record capture opens with: the connection fields as address
    // and credentials, the name as model, properties 1, 2, ... as parameters.
    // ptzPort: the port the query was started with.
    DeviceRecord ToDeviceRecord(uint16_t ptzPort) const;
    // Everything recorded, as JSON text.
    std::string ToJson() const;

    std::map<uint32_t, uint32_t> values;
    std::string name;
    std::string connection[4];  // host, port, user, password
    std::map<int32_t, Property> properties;
    std::vector<ResolutionEntry> resolutions;
    std::vector<uint32_t> frameValues;
    uint32_t defaultFrameValue = 0;

private:
    class TextField;
    class PropertyObject;
    class ResolutionList;
    class FramerateList;

    std::vector<std::unique_ptr<TextField>> fields;
    std::map<int32_t, std::unique_ptr<PropertyObject>> propertyObjects;
    std::unique_ptr<ResolutionList> resolutionList;
    std::unique_ptr<FramerateList> framerateList;
};

}  // namespace host
