#!/usr/bin/python3
# Another CalDAV client, played by python3-caldav: otherclient.py URL USER PASSWORD COMMAND...
# add=UID|YYYYMMDD|SUMMARY (with a description Tallyleaf does not show), rename=UID|SUMMARY,
# complete=UID, delete=UID.
import sys, caldav
url, user, password = sys.argv[1:4]
cal = caldav.DAVClient(url=url, username=user, password=password).calendar(url=url)
for cmd in sys.argv[4:]:
    op, _, arg = cmd.partition("=")
    if op == "add":
        uid, due, summary = arg.split("|")
        cal.save_todo(f"BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//python-caldav test//EN\r\nBEGIN:VTODO\r\nUID:{uid}\r\nDTSTAMP:20260101T000000Z\r\nDUE;VALUE=DATE:{due}\r\nSUMMARY:{summary}\r\nDESCRIPTION:kept by the other client\r\nEND:VTODO\r\nEND:VCALENDAR\r\n")
    elif op == "rename":
        uid, summary = arg.split("|")
        t = cal.todo_by_uid(uid)
        t.vobject_instance.vtodo.summary.value = summary
        t.save()
    elif op == "complete":
        cal.todo_by_uid(arg).complete()
    elif op == "delete":
        cal.todo_by_uid(arg).delete()
