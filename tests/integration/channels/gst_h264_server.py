#!/usr/bin/python3
"""GStreamer's RTSP server with live H.264 (640x480, 25 fps) at /live on a free
loopback port. Prints "PORT <n>", runs until standard input closes; exits 77 when
GStreamer's RTSP server or x264enc is missing. With the argument "tcp" it offers RTP
only inside the RTSP connection (interleaved) and prints "RTCP <ssrc>" for each
client whose RTCP reached it."""
import sys
import threading

try:
    import gi
    gi.require_version("Gst", "1.0")
    gi.require_version("GstRtsp", "1.0")
    gi.require_version("GstRtspServer", "1.0")
    from gi.repository import GLib, Gst, GstRtsp, GstRtspServer
except (ImportError, ValueError) as error:
    print("SKIP %s" % error, flush=True)
    sys.exit(77)

Gst.init(None)
if not Gst.ElementFactory.find("x264enc"):
    print("SKIP x264enc missing", flush=True)
    sys.exit(77)
factory = GstRtspServer.RTSPMediaFactory()
factory.set_launch("( videotestsrc is-live=true pattern=ball ! video/x-raw,width=640,height=480,framerate=25/1 ! "
                   "x264enc tune=zerolatency key-int-max=25 ! rtph264pay name=pay0 pt=96 config-interval=1 )")
factory.set_shared(True)
tcp_only = "tcp" in sys.argv[1:]
factory.set_protocols(GstRtsp.RTSPLowerTrans.TCP if tcp_only else GstRtsp.RTSPLowerTrans.UDP)
reported = set()


def on_ssrc_active(session, source):
    ssrc = source.get_property("ssrc")
    if not source.get_property("is-sender") and ssrc not in reported:
        reported.add(ssrc)
        print("RTCP %u" % ssrc, flush=True)


def on_prepared(media):
    for index in range(media.n_streams()):
        media.get_stream(index).get_rtpsession().connect("on-ssrc-active", on_ssrc_active)


factory.connect("media-configure", lambda factory, media: media.connect("prepared", on_prepared))
server = GstRtspServer.RTSPServer()
server.set_address("127.0.0.1")
server.set_service("0")
server.get_mount_points().add_factory("/live", factory)
loop = GLib.MainLoop()
if server.attach(None) == 0:
    sys.exit(77)
print("PORT %d" % server.get_bound_port(), flush=True)
threading.Thread(target=lambda: (sys.stdin.read(), GLib.idle_add(loop.quit)), daemon=True).start()
loop.run()
