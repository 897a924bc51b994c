extcmd("breadcrumb")
printh("still running")
extcmd("shutdown")
printh("quit after this frame")
