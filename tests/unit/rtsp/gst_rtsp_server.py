#!/usr/bin/python3
"""RTSP peer for the client tests: gst_rtsp_server.py none|basic|digest [user password]

Serves H.264 test video over UDP at /test on a free loopback port, prints
"PORT <port> <pid>" and runs until it is terminated. Prints "SKIP <why>" and exits 77 when
GStreamer's RTSP server or an H.264 encoder is not installed."""
import os
import sys

try:
    import gi
    for name in ("Gst", "GstRtsp", "GstRtspServer"):
        gi.require_version(name, "1.0")
    from gi.repository import GLib, Gst, GstRtsp, GstRtspServer
except (ImportError, ValueError) as error:
    print("SKIP python3-gi or gir1.2-gst-rtsp-server-1.0 missing: %s" % error, flush=True)
    sys.exit(77)

Gst.init(None)
encoder = next((e for e in ("x264enc", "openh264enc") if Gst.ElementFactory.find(e)), None)
if encoder is None or not Gst.ElementFactory.find("rtph264pay"):
    print("SKIP no H.264 encoder or payloader (gstreamer1.0-plugins-ugly/-bad/-good)", flush=True)
    sys.exit(77)

mode, user, password = (sys.argv[1:] + ["none", "admin", "secret"][len(sys.argv) - 1:])[:3]
options = "tune=zerolatency key-int-max=15" if encoder == "x264enc" else ""
factory = GstRtspServer.RTSPMediaFactory()
factory.set_launch("( videotestsrc is-live=true ! video/x-raw,width=320,height=240,framerate=15/1 ! "
                   "%s %s ! rtph264pay name=pay0 pt=96 config-interval=1 )" % (encoder, options))
factory.set_shared(True)
factory.set_protocols(GstRtsp.RTSPLowerTrans.UDP)

server = GstRtspServer.RTSPServer()
server.set_address("127.0.0.1")
server.set_service("0")
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
if server.attach(None) == 0:
    print("SKIP cannot attach the RTSP server", flush=True)
    sys.exit(77)
print("PORT %d %d" % (server.get_bound_port(), os.getpid()), flush=True)
GLib.MainLoop().run()
