#include "host/CapabilityStore.h"

#include <fstream>

#include <nlohmann/json.hpp>

namespace host {

using nlohmann::json;
namespace ipc = velkora::ipcapture;

namespace {

// Device parameters are the properties numbered from 1 up to the first gap.
constexpr int32_t LastDeviceParameter = 99;

std::string Text(const char* text)
{
    return text == nullptr ? std::string() : std::string(text);
}

}  // namespace

class CapabilityStore::TextField : public ipc::IHostTextField
{
public:
    explicit TextField(std::string& target) : target_(target) {}
    void SetText(const char* text) override { target_ = Text(text); }

private:
    std::string& target_;
};

class CapabilityStore::PropertyObject : public ipc::IHostCapabilityProperty
{
public:
    explicit PropertyObject(Property& target) : target_(target) {}
    void SetValue(const char* value) override { target_.value = Text(value); }
    void SetType(uint32_t type) override { target_.type = type; }
    void SetName(const char* name) override { target_.name = Text(name); }
    void SetFlag(uint32_t flag) override { target_.flag = flag; }

private:
    Property& target_;
};

class CapabilityStore::ResolutionList : public ipc::IHostResolutionList
{
public:
    explicit ResolutionList(std::vector<ResolutionEntry>& target) : target_(target) {}
    void Add(const char* text, uint32_t width, uint32_t height, uint32_t frameValue) override
    {
        target_.push_back({Text(text), width, height, frameValue});
    }

private:
    std::vector<ResolutionEntry>& target_;
};

class CapabilityStore::FramerateList : public ipc::IHostFramerateList
{
public:
    FramerateList(std::vector<uint32_t>& values, uint32_t& defaultValue) : values_(values), default_(defaultValue) {}
    void SetDefault(uint32_t frameValue) override { default_ = frameValue; }
    void Add(uint32_t frameValue) override { values_.push_back(frameValue); }

private:
    std::vector<uint32_t>& values_;
    uint32_t& default_;
};

CapabilityStore::CapabilityStore()
    : resolutionList(std::make_unique<ResolutionList>(resolutions)),
      framerateList(std::make_unique<FramerateList>(frameValues, defaultFrameValue))
{
    for (std::string& field : connection)
        fields.push_back(std::make_unique<TextField>(field));
}

CapabilityStore::~CapabilityStore() = default;

void CapabilityStore::SetValue(uint32_t key, uint32_t value)
{
    values[key] = value;
}

void CapabilityStore::SetName(const char* text)
{
    name = Text(text);
}

ipc::IHostTextField* CapabilityStore::GetConnectionField(uint32_t index)
{
    if (index < 1 || index > fields.size())
        return nullptr;
    return fields[index - 1].get();
}

ipc::IHostCapabilityProperty* CapabilityStore::CreateProperty(int32_t number)
{
    Property& property = properties[number];
    property = Property();
    auto& object = propertyObjects[number];
    if (!object)
        object = std::make_unique<PropertyObject>(property);
    return object.get();
}

ipc::IHostResolutionList* CapabilityStore::GetResolutionList()
{
    return resolutionList.get();
}

ipc::IHostFramerateList* CapabilityStore::GetFramerateList(uint32_t stream)
{
    return stream == 1 ? framerateList.get() : nullptr;
}

DeviceRecord CapabilityStore::ToDeviceRecord(uint16_t ptzPort) const
{
    DeviceRecord record;
    record.model = name;
    record.address = connection[0];
    if (!connection[1].empty() && connection[1] != "80")
        record.address += ":" + connection[1];
    record.port = ptzPort;
    record.user = connection[2];
    record.password = connection[3];
    for (int32_t number = 1; number <= LastDeviceParameter; ++number) {
        auto at = properties.find(number);
        if (at == properties.end())
            break;
        record.parameters.push_back(at->second.value);
    }
    return record;
}

std::string CapabilityStore::ToJson() const
{
    json out;
    out["name"] = name;
    out["connection"] = {connection[0], connection[1], connection[2], connection[3]};
    json valueMap = json::object();
    for (const auto& [key, value] : values)
        valueMap[std::to_string(key)] = value;
    out["values"] = valueMap;
    json propertyMap = json::object();
    for (const auto& [number, property] : properties)
        propertyMap[std::to_string(number)] = {
            {"name", property.name}, {"value", property.value}, {"type", property.type}, {"flag", property.flag}};
    out["properties"] = propertyMap;
    json resolutionArray = json::array();
    for (const ResolutionEntry& entry : resolutions)
        resolutionArray.push_back(
            {{"text", entry.text}, {"width", entry.width}, {"height", entry.height}, {"frameValue", entry.frameValue}});
    out["resolutions"] = resolutionArray;
    out["framerates"] = {{"values", frameValues}, {"default", defaultFrameValue}};
    return out.dump(2);
}

bool SaveDeviceFile(const std::string& path, const DeviceRecord& record)
{
    json out = {
        {"address", record.address},       {"port", record.port},     {"user", record.user},
        {"password", record.password},     {"model", record.model},   {"channels", record.channelCount},
        {"codec", record.codecType},       {"valueA", record.valueA}, {"valueB", record.valueB},
        {"parameters", record.parameters},
    };
    std::ofstream stream(path, std::ios::binary | std::ios::trunc);
    stream << out.dump(2) << '\n';
    return bool(stream.flush());
}

bool LoadDeviceFile(const std::string& path, DeviceRecord& record)
{
    std::ifstream stream(path, std::ios::binary);
    if (!stream)
        return false;
    try {
        const json in = json::parse(stream);
        DeviceRecord read;
        read.address = in.at("address").get<std::string>();
        read.port = in.value("port", uint16_t(80));
        read.user = in.value("user", std::string());
        read.password = in.value("password", std::string());
        read.model = in.value("model", std::string());
        read.channelCount = in.value("channels", uint32_t(1));
        read.codecType = in.value("codec", uint32_t(3));
        read.valueA = in.value("valueA", uint32_t(0));
        read.valueB = in.value("valueB", uint32_t(0));
        read.parameters = in.value("parameters", std::vector<std::string>());
        record = std::move(read);
        return true;
    } catch (const json::exception&) {
        return false;
    }
}

}  // namespace host
