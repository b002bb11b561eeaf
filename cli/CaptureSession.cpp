#include "CaptureSession.h"

#include "Console.h"
#include "Library.h"

namespace hqcli {

namespace ipc = velkora::ipcapture;

CaptureSession::CaptureSession(Library& library, Console& console) : library(library), console(console) {}

CaptureSession::~CaptureSession()
{
    Close();
}

bool CaptureSession::Open(const host::DeviceRecord& record, std::string* error)
{
    Close();
    driver = library.CreateIPCapture();
    if (driver == nullptr) {
        *error = "the library could not create a driver";
        return false;
    }
    settings = std::make_unique<host::DeviceSettings>(record);
    if (!driver->Open(&console, &frames, settings.get())) {
        *error = "the driver refused the device settings (address \"" + record.address +
                 "\"; device parameter 1 must be a number: run `harnoquistel query` again?)";
        Close();
        return false;
    }
    return true;
}

void CaptureSession::Close()
{
    if (driver == nullptr)
        return;
    driver->Close();
    library.DeleteIPCapture(driver);
    driver = nullptr;
    settings.reset();
}

ipc::IIPVideoCaptureEx2* CaptureSession::VideoCapture()
{
    // One object serves every interface version through the one pointer.
    return driver == nullptr ? nullptr : static_cast<ipc::IIPCaptureDriverEx5*>(driver)->GetVideoCaptureEx5();
}

velkora::IIPPTZApi* CaptureSession::PtzApi(uint32_t channel)
{
    if (driver == nullptr)
        return nullptr;
    velkora::IIPPTZDriver* ptz = static_cast<ipc::IIPCaptureDriverEx*>(driver)->GetPTZDriver();
    return ptz == nullptr ? nullptr : ptz->GetPTZApi(channel);
}

}  // namespace hqcli
