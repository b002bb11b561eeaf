#!/usr/bin/python3
"""GStreamer RTSP server for the RTSP client tests.

Usage: gst_rtsp_server.py none|basic|digest [user password]
Serves H.264 test video at /test on a free loopback port, prints "PORT <n>" and
runs until its standard input closes. Exits with 77 when GStreamer's RTSP server
or an H.264 encoder is not installed.
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
    print("SKIP python3-gi or gir1.2-gst-rtsp-server-1.0 missing: %s" % error, flush=True)
    sys.exit(77)

Gst.init(None)
encoder = next((e for e in ("x264enc", "openh264enc") if Gst.ElementFactory.find(e)), None)
if encoder is None or not Gst.ElementFactory.find("rtph264pay"):
    print("SKIP no H.264 encoder or payloader (gstreamer1.0-plugins-ugly/-bad/-good)", flush=True)
    sys.exit(77)

mode = sys.argv[1] if len(sys.argv) > 1 else "none"
user = sys.argv[2] if len(sys.argv) > 2 else "admin"
password = sys.argv[3] if len(sys.argv) > 3 else "secret"

options = "tune=zerolatency key-int-max=15" if encoder == "x264enc" else ""
launch = ("( videotestsrc is-live=true ! video/x-raw,width=320,height=240,framerate=15/1 ! "
          "%s %s ! rtph264pay name=pay0 pt=96 config-interval=1 )" % (encoder, options))

server = GstRtspServer.RTSPServer()
server.set_address("127.0.0.1")
server.set_service("0")
factory = GstRtspServer.RTSPMediaFactory()
factory.set_launch(launch)
factory.set_shared(True)
factory.set_protocols(GstRtsp.RTSPLowerTrans.UDP)

if mode != "none":
    auth = GstRtspServer.RTSPAuth()
    token = GstRtspServer.RTSPToken()
    token.set_string("media.factory.role", user)
    if mode == "basic":
        auth.add_basic(GstRtspServer.RTSPAuth.make_basic(user, password), token)
        auth.set_supported_methods(GstRtsp.RTSPAuthMethod.BASIC)
    else:
        auth.add_digest(user, password, token)
        auth.set_supported_methods(GstRtsp.RTSPAuthMethod.DIGEST)
    server.set_auth(auth)
    factory.add_role_from_structure(Gst.Structure.new_from_string(
        "%s, media.factory.access=(boolean)true, media.factory.construct=(boolean)true" % user))

server.get_mount_points().add_factory("/test", factory)
loop = GLib.MainLoop()
if server.attach(None) == 0:
    print("SKIP cannot attach the RTSP server", flush=True)
    sys.exit(77)
print("PORT %d" % server.get_bound_port(), flush=True)


def wait_for_stdin_close():
    sys.stdin.read()
    GLib.idle_add(loop.quit)


threading.Thread(target=wait_for_stdin_close, daemon=True).start()
loop.run()
