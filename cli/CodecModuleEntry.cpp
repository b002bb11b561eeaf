// The export of harnoquistel-codecs.so; everything else in it stays hidden.
#include "CodecModule.h"

#include "ContainerWriter.h"

namespace {

std::unique_ptr<hqcli::FrameWriter> OpenContainer(const std::string& path, std::string* error)
{
    return hqcli::ContainerWriter::Open(path, error);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) const hqcli::CodecModule* HarnoquistelCodecModule()
{
    static const hqcli::CodecModule module{OpenContainer, hqcli::WritePicture};
    return &module;
}
