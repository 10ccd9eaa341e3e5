#!/usr/bin/env python3
"""Sends the window manager's close request (WM_DELETE_WINDOW) to a window given by its X id."""
import sys

from Xlib import X, display, protocol


def main():
    window_id = int(sys.argv[1], 0)
    d = display.Display()
    window = d.create_resource_object("window", window_id)
    protocols = d.intern_atom("WM_PROTOCOLS")
    delete = d.intern_atom("WM_DELETE_WINDOW")
    event = protocol.event.ClientMessage(window=window, client_type=protocols, data=(32, [delete, X.CurrentTime, 0, 0, 0]))
    window.send_event(event, event_mask=X.NoEventMask)
    d.sync()  # a flush alone may leave the event unsent when the connection closes
    d.close()


if __name__ == "__main__":
    main()
