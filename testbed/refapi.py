"""The platform's HTTP interface: logins, experiment records, scores, details.

State lives in memory, seeded from seed/platform.json; replies are UTF-8 JSON
with "ret" and "list" like the real platform's.
"""

import copy
import hashlib
import json
import threading
import urllib.parse

from refhttp import Reply, error_page

RET_OK = 0
RET_BAD_REQUEST = 1
RET_NOT_FOUND = 2
RET_WRONG_PASSWORD = 4
RET_DISABLED = 5


def json_reply(obj):
    return Reply(200, json.dumps(obj, ensure_ascii=False), content_type="application/json;charset=UTF-8")


def ret_only(code):
    return json_reply({"ret": code})


def parse_form(data):
    """application/x-www-form-urlencoded, as the platform's servlets decode it."""
    fields = {}
    for part in data.split(b"&"):
        name, _, value = part.partition(b"=")
        key = urllib.parse.unquote_plus(name.decode("latin-1"), encoding="latin-1")
        fields.setdefault(key, urllib.parse.unquote_to_bytes(value.replace(b"+", b" ")))
    return fields


def as_int(value, default=None):
    try:
        return int(value)
    except (TypeError, ValueError):
        return default


class PlatformState:
    """Accounts, courses, sources, files and what the assistant submitted."""

    def __init__(self, seed):
        self.seed = seed
        self.lock = threading.Lock()
        self.reset()

    def reset(self):
        with self.lock:
            data = copy.deepcopy(self.seed)
            self.accounts = data.get("accounts", [])
            self.courses = {str(c["id"]): c for c in data.get("courses", [])}
            self.sources = {str(s["id"]): s for s in data.get("sources", [])}
            self.files = data.get("files", {})
            self.records = {}
            self.next_record_id = int(data.get("first_record_id", 5001))
            self.data = []
            self.scores = []
            self.logins = []

    def snapshot(self):
        with self.lock:
            return {"records": self.records, "data": self.data, "scores": self.scores,
                    "logins": self.logins}

    def find_account(self, field, value):
        for account in self.accounts:
            if account.get(field) == value:
                return account
        return None


class PlatformApi:
    """Dispatches one request of the platform interface to its operation."""

    def __init__(self, state):
        self.state = state
        self.routes = {
            ("POST", "/school/login.yks"): self.login_account_number,
            ("POST", "/user/loginPhone.yks"): self.login_phone,
            ("POST", "/experimentRecord/add.yks"): self.add_record,
            ("POST", "/experiment/dataAdd.yks"): self.add_data,
            ("GET", "/statistics/updateScore.dy"): self.update_score,
            ("POST", "/file/size.action"): self.file_size,
            ("GET", "/course/detail.yks"): self.course_detail,
            ("GET", "/source/detail.yks"): self.source_detail,
        }

    def __call__(self, request, fault):
        route = self.routes.get((request.method, request.path))
        if route is None:
            return error_page(404)
        if request.method == "GET":
            form = parse_form(request.query.encode("latin-1"))
        else:
            form = parse_form(request.body)
        with self.state.lock:
            return route(form)

    def text(self, form, name):
        return form.get(name, b"").decode("utf-8", "replace")

    def check_password(self, account, form):
        if account is None:
            return RET_WRONG_PASSWORD
        wanted = hashlib.md5(account["password"].encode("gbk")).hexdigest()
        if self.text(form, "pwd") != wanted:
            return RET_WRONG_PASSWORD
        if account.get("disabled"):
            return RET_DISABLED
        return RET_OK

    def login_account_number(self, form):
        state = self.state
        account = state.find_account("no", self.text(form, "no"))
        ret = self.check_password(account, form)
        state.logins.append({"kind": "no", "user": self.text(form, "no"), "ret": ret})
        if ret != RET_OK:
            return ret_only(ret)
        item = {"userId": account["userId"], "id": account["schoolId"],
                "name": account["schoolName"], "token": account["token"]}
        return json_reply({"ret": RET_OK, "ss": account.get("ss", 1), "list": [item]})

    def login_phone(self, form):
        state = self.state
        account = state.find_account("phone", self.text(form, "phone"))
        ret = self.check_password(account, form)
        state.logins.append({"kind": "phone", "user": self.text(form, "phone"), "ret": ret,
                             "fid": self.text(form, "fid")})
        if ret != RET_OK:
            return ret_only(ret)
        item = {"id": account["id"], "role": account.get("role", 1),
                "check": account.get("check", 1), "name": account["name"],
                "schoolName": account["schoolName"], "schoolId": account["schoolId"],
                "access": account.get("access", 1), "fsize": account.get("fsize", 0),
                "token": account["token"]}
        return json_reply({"ret": RET_OK, "ss": account.get("ss", 1), "list": [item]})

    def add_record(self, form):
        state = self.state
        kind = as_int(self.text(form, "type"))
        if kind == 1:
            fields = {k: as_int(self.text(form, k)) for k in ("userId", "experId", "couId")}
            if None in fields.values():
                return ret_only(RET_BAD_REQUEST)
            record_id = state.next_record_id
            state.next_record_id += 1
            state.records[str(record_id)] = dict(fields, closed=False)
            return json_reply({"ret": RET_OK, "list": [{"id": record_id}]})
        if kind == 2:
            record = state.records.get(str(as_int(self.text(form, "id"))))
            if record is None:
                return ret_only(RET_NOT_FOUND)
            record["closed"] = True
            return ret_only(RET_OK)
        return ret_only(RET_BAD_REQUEST)

    def add_data(self, form):
        state = self.state
        record_id = as_int(self.text(form, "id"))
        if str(record_id) not in state.records:
            return ret_only(RET_NOT_FOUND)
        state.data.append({"id": record_id, "data": self.text(form, "data")})
        return ret_only(RET_OK)

    def update_score(self, form):
        names = ("type", "srcId", "userId", "scouId", "couId", "score")
        fields = {k: as_int(self.text(form, k)) for k in names}
        if None in fields.values():
            return ret_only(RET_BAD_REQUEST)
        self.state.scores.append(fields)
        return ret_only(RET_OK)

    def file_size(self, form):
        entry = self.state.files.get(self.text(form, "fileId"))
        if entry is None:
            return ret_only(RET_NOT_FOUND)
        return json_reply({"ret": RET_OK, "size": entry["size"]})

    def course_detail(self, form):
        course = self.state.courses.get(str(as_int(self.text(form, "id"))))
        if course is None:
            return json_reply({"ret": RET_NOT_FOUND, "list": []})
        fields = ("name", "user", "center", "logoId", "userId")
        return json_reply({"ret": RET_OK, "list": [{k: course[k] for k in fields}]})

    def source_detail(self, form):
        source = self.state.sources.get(str(as_int(self.text(form, "id"))))
        if source is None:
            return json_reply({"ret": RET_NOT_FOUND, "list": []})
        fields = ("name", "fileName", "fileType", "hashcode")
        return json_reply({"ret": RET_OK, "list": [{k: source[k] for k in fields}]})
