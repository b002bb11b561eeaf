#include "rtsp/MediaDescription.h"

namespace velkora {

MediaBlock* MediaDescription::Block(int kind)
{
    switch (kind) {
    case kMediaVideo: return &video;
    case kMediaAudio: return &audio;
    case kMediaData: return &data;
    default: return nullptr;
    }
}

const MediaBlock* MediaDescription::Block(int kind) const
{
    return const_cast<MediaDescription*>(this)->Block(kind);
}

}  // namespace velkora
