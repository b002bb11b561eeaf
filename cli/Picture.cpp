#include "Picture.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace hqcli {

namespace {

struct CodecFree {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScaleFree {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};
using Codec = std::unique_ptr<AVCodecContext, CodecFree>;
using Frame = std::unique_ptr<AVFrame, FrameFree>;
using Packet = std::unique_ptr<AVPacket, PacketFree>;

std::string AvError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

bool Decode(const std::vector<uint8_t>& accessUnit, Frame& picture, std::string* error)
{
    const AVCodec* h264 = avcodec_find_decoder(AV_CODEC_ID_H264);
    Codec decoder(h264 != nullptr ? avcodec_alloc_context3(h264) : nullptr);
    Packet packet(av_packet_alloc());
    picture.reset(av_frame_alloc());
    if (!decoder || !packet || !picture || avcodec_open2(decoder.get(), h264, nullptr) < 0 ||
        av_new_packet(packet.get(), static_cast<int>(accessUnit.size())) < 0) {
        *error = "no H.264 decoder";
        return false;
    }
    std::memcpy(packet->data, accessUnit.data(), accessUnit.size());
    packet->flags |= AV_PKT_FLAG_KEY;
    int status = avcodec_send_packet(decoder.get(), packet.get());
    if (status >= 0)
        status = avcodec_send_packet(decoder.get(), nullptr);  // one picture: drain it out
    if (status >= 0)
        status = avcodec_receive_frame(decoder.get(), picture.get());
    if (status < 0) {
        *error = "the key frame does not decode: " + AvError(status);
        return false;
    }
    return true;
}

bool Encode(const AVFrame& picture, bool png, std::vector<uint8_t>& out, std::string* error)
{
    const AVPixelFormat format = png ? AV_PIX_FMT_RGB24 : AV_PIX_FMT_YUVJ420P;
    const AVCodec* codec = avcodec_find_encoder(png ? AV_CODEC_ID_PNG : AV_CODEC_ID_MJPEG);
    Codec encoder(codec != nullptr ? avcodec_alloc_context3(codec) : nullptr);
    Frame converted(av_frame_alloc());
    Packet packet(av_packet_alloc());
    if (!encoder || !converted || !packet) {
        *error = png ? "no PNG encoder" : "no JPEG encoder";
        return false;
    }
    converted->format = format;
    converted->width = picture.width;
    converted->height = picture.height;
    std::unique_ptr<SwsContext, ScaleFree> scale(
        sws_getContext(picture.width, picture.height, static_cast<AVPixelFormat>(picture.format), picture.width,
                       picture.height, format, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!scale || av_frame_get_buffer(converted.get(), 0) < 0 ||
        sws_scale(scale.get(), picture.data, picture.linesize, 0, picture.height, converted->data,
                  converted->linesize) != picture.height) {
        *error = "cannot convert the picture";
        return false;
    }
    encoder->width = picture.width;
    encoder->height = picture.height;
    encoder->pix_fmt = format;
    encoder->time_base = {1, 25};
    if (!png) {
        // About what an installer expects of a still: no visible blocks.
        encoder->flags |= AV_CODEC_FLAG_QSCALE;
        encoder->global_quality = FF_QP2LAMBDA * 2;
        converted->quality = encoder->global_quality;
    }
    int status = avcodec_open2(encoder.get(), codec, nullptr);
    if (status >= 0)
        status = avcodec_send_frame(encoder.get(), converted.get());
    if (status >= 0)
        status = avcodec_receive_packet(encoder.get(), packet.get());
    if (status < 0) {
        *error = "cannot encode the picture: " + AvError(status);
        return false;
    }
    out.assign(packet->data, packet->data + packet->size);
    return true;
}

}  // namespace

bool WritePicture(const std::vector<uint8_t>& accessUnit, const std::string& path, PictureInfo* info,
                  std::string* error)
{
    // Their warnings (deprecated pixel formats and the like) mean nothing to the user.
    av_log_set_level(AV_LOG_ERROR);
    Frame picture;
    if (accessUnit.empty()) {
        *error = "no key frame to take a picture of";
        return false;
    }
    if (!Decode(accessUnit, picture, error))
        return false;
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::vector<uint8_t> encoded;
    if (!Encode(*picture, extension == ".png", encoded, error))
        return false;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(encoded.data(), 1, encoded.size(), file) == encoded.size();
    if (std::fclose(file) != 0 || !written) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    if (info != nullptr)
        *info = {picture->width, picture->height};
    return true;
}

}  // namespace hqcli
