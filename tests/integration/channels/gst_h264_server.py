#!/usr/bin/python3
"""A real RTSP server for the channel tests: GStreamer's, serving live H.264.

Serves a 640x480 25 fps test picture at /live on a free loopback port, prints
"PORT <n>" and runs until its standard input closes. Exits with 77 when
GStreamer's RTSP server or an H.264 encoder is missing.
"""
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
if not Gst.ElementFactory.find("x264enc") or not Gst.ElementFactory.find("rtph264pay"):
    print("SKIP x264enc or rtph264pay missing", flush=True)
    sys.exit(77)

launch = ("( videotestsrc is-live=true pattern=ball ! video/x-raw,width=640,height=480,framerate=25/1 ! "
          "x264enc tune=zerolatency key-int-max=25 ! video/x-h264,profile=baseline ! "
          "rtph264pay name=pay0 pt=96 config-interval=1 )")
server = GstRtspServer.RTSPServer()
server.set_address("127.0.0.1")
server.set_service("0")
factory = GstRtspServer.RTSPMediaFactory()
factory.set_launch(launch)
factory.set_shared(True)
factory.set_protocols(GstRtsp.RTSPLowerTrans.UDP)
server.get_mount_points().add_factory("/live", factory)
loop = GLib.MainLoop()
if server.attach(None) == 0:
    print("SKIP cannot attach", flush=True)
    sys.exit(77)
print("PORT %d" % server.get_bound_port(), flush=True)


def quit_when_stdin_closes():
    sys.stdin.read()
    GLib.idle_add(loop.quit)


threading.Thread(target=quit_when_stdin_closes, daemon=True).start()
loop.run()
