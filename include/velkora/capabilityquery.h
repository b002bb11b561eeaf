#pragma once
// Capability query: the host's sink and store, and the query object.

#include <cstdint>

namespace velkora::ipcapture {

// Failure kinds reported through IHostQuerySink::OnQueryFailed.
enum QueryFailureKind : uint32_t
{
    QueryFailureInvalidAddress = 0,
    QueryFailureLogin = 1,
    QueryFailureOffline = 2,
    QueryFailureOther = 3,
};

// Called on the query thread: exactly one of OnQueryCompleted and
// OnQueryFailed per started query, or OnQueryKilled.
class IHostQuerySink
{
public:
    virtual ~IHostQuerySink() = default;                              // slot 0
    virtual void Reserved1() {}                                       // slot 1
    virtual void OnQueryCompleted() = 0;                              // slot 2
    virtual void OnQueryFailed(uint32_t kind, const char* text) = 0;  // slot 3
    virtual void OnQueryKilled() = 0;                                 // slot 4
};

// The objects below belong to the store; the library never frees them.
// Texts passed in are valid only during the call.
class IHostTextField
{
public:
    virtual ~IHostTextField() = default;         // slot 0
    virtual void SetText(const char* text) = 0;  // slot 1
};

class IHostCapabilityProperty
{
public:
    virtual ~IHostCapabilityProperty() = default;  // slot 0
    virtual void SetValue(const char* value) = 0;  // slot 1
    virtual void Reserved2() {}                    // slot 2
    virtual void Reserved3() {}                    // slot 3
    virtual void SetType(uint32_t type) = 0;       // slot 4
    virtual void SetName(const char* name) = 0;    // slot 5
    virtual void SetFlag(uint32_t flag) = 0;       // slot 6
};

class IHostResolutionList
{
public:
    virtual ~IHostResolutionList() = default;                                                      // slot 0
    virtual void Add(const char* text, uint32_t width, uint32_t height, uint32_t frameValue) = 0;  // slot 1
};

class IHostFramerateList
{
public:
    virtual ~IHostFramerateList() = default;           // slot 0
    virtual void SetDefault(uint32_t frameValue) = 0;  // slot 1
    virtual void Add(uint32_t frameValue) = 0;         // slot 2
};

class IHostCapabilityStore
{
public:
    virtual ~IHostCapabilityStore() = default;                // slot 0
    virtual void SetValue(uint32_t key, uint32_t value) = 0;  // slot 1
    virtual void SetName(const char* name) = 0;               // slot 2
    // 1 host address, 2 port, 3 user name, 4 password; may return null.
    virtual IHostTextField* GetConnectionField(uint32_t index) = 0;       // slot 3
    virtual void Reserved4() {}                                           // slot 4
    virtual IHostCapabilityProperty* CreateProperty(int32_t number) = 0;  // slot 5
    virtual IHostResolutionList* GetResolutionList() = 0;                 // slot 6
    virtual void Reserved7() {}                                           // slot 7
    virtual IHostFramerateList* GetFramerateList(uint32_t stream) = 0;    // slot 8
};

class IIPCapabilityQuery
{
public:
    virtual ~IIPCapabilityQuery() = default;  // slot 0
    virtual uint32_t Start(const char* address, uint16_t port, const char* user, const char* password,
                           IHostCapabilityStore* store) = 0;  // slot 1
    virtual void Terminate() = 0;                             // slot 2
};

}  // namespace velkora::ipcapture
