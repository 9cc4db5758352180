// What the X11 presenter needs of the X11 display-loss layer: errors on the host's window as a stop.
#pragma once

// The window a screen-saver host gave us, drawn through its own connection `host`: Xlib protocol
// errors on that connection (BadWindow, BadDrawable when the host destroys the window) stop the run
// like SIGTERM instead of ending the process; errors on other connections go to the previous handler.
struct _XDisplay;
void display_loss_watch_window(_XDisplay *host);
