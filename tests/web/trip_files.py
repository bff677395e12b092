"""Trip files (.dat) for the web front end's tests: the device's format, made here."""
import datetime


def trip_line(when, trip_time, moving_time, distance, fuel):
    """One 46-byte line: the date and start, then the four measured values (1/6000 km, 1/16000 l)."""
    fields = [when.year - 2000, when.month, when.isoweekday(), when.day, when.hour, when.minute]
    return "".join(f"{v:02x}" for v in fields) + "".join(
        f"{v:08x}" for v in (trip_time, moving_time, distance, fuel)) + "\r\n"


def write_dat(path, model, registration, owner, trips):
    """`trips`: (datetime, trip seconds, moving seconds, distance, fuel) tuples."""
    text = "".join(f"{t}\r\n" for t in (model, registration, owner)).encode("cp1251")
    text += "".join(trip_line(*t) for t in trips).encode("ascii")
    with open(path, "wb") as f:
        f.write(text)


def daily_trips(first, days, distance=6000 * 25, fuel=16000 * 2):
    return [(datetime.datetime(first.year, first.month, first.day, 8, 15) + datetime.timedelta(days=i),
             1800, 1500, distance + i * 60, fuel + i * 16) for i in range(days)]
