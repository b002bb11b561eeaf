#pragma once
// The reference host's capability store: keeps what a capability query
// reports and turns it into the device file from which capture is opened.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <velkora/capabilityquery.h>

namespace host {

class CapabilityStore;

// What the host keeps per device and hands back at open.
struct DeviceFile
{
    std::string name;
    std::string address;   // "host" or "host:port" of the ONVIF/HTTP service
    uint16_t port = 0;     // PTZ CGI port given to the query
    std::string user;
    std::string password;
    std::string model;
    uint32_t channels = 1;
    uint32_t codec = 3;    // H.264
    std::vector<std::string> parameters; // device parameters 1, 2, ... in order

    // Parameter text by 1-based index; null past the last.
    const char* Parameter(uint32_t index) const;
};

bool SaveDeviceFile(const std::string& path, const DeviceFile& file);
bool LoadDeviceFile(const std::string& path, DeviceFile& file);

class CapabilityStore : public velkora::ipcapture::IHostCapabilityStore
{
public:
    struct Property
    {
        std::string name;
        std::string value;
        uint32_t type = 0;
        uint32_t flag = 0;
    };
    struct ResolutionEntry
    {
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

    // The device file capture opens with: the connection fields as address
    // and credentials, the model from the name, properties 1.. as parameters.
    // ptzPort: the port the query was started with.
    DeviceFile ToDeviceFile(uint16_t ptzPort) const;
    // Everything recorded, as JSON text.
    std::string ToJson() const;

    std::map<uint32_t, uint32_t> values;
    std::string name;
    std::string connection[4]; // host, port, user, password
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

} // namespace host
