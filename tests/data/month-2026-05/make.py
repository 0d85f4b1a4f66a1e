#!/usr/bin/env python3
"""Writes one month (May 2026) of four bills that fund each other, and the
records and transfers a correct import of all four books (expected.csv).

Every file is rendered from the one list of events in events(), so the bills
agree with each other by construction; check() then re-derives the account
totals and the merges from the written files alone and compares them with
expected.csv.

Run as `python3 make.py` in this folder. All names and numbers are invented.
"""

import csv
import datetime
import io
import os
import re
from decimal import Decimal

HERE = os.path.dirname(os.path.abspath(__file__))

CMB_CARD = "招商银行储蓄卡(1234)"
ICBC_CARD = "工商银行(5678)"
ALIPAY_BALANCE = "支付宝余额"
YUEBAO = "余额宝"
WECHAT_CHANGE = "微信零钱"
CREDIT_CARD = "信用卡(9012)"

# Funding source as the bills write it -> account.
FUNDING = {
    "账户余额": ALIPAY_BALANCE,
    "余额宝": YUEBAO,
    "零钱": WECHAT_CHANGE,
    "/": WECHAT_CHANGE,
    CMB_CARD: CMB_CARD,
    ICBC_CARD: ICBC_CARD,
}
CARD_BANK = {CMB_CARD: "cmb", ICBC_CARD: "icbc"}
OPENING = {"cmb": Decimal("18650.40"), "icbc": Decimal("6320.15")}
MAX_LAG = 2  # a bank books a wallet payment 0-2 days after the app
KIND_ORDER = ["收入", "支出", "转账", "退款"]


def money(text):
    return Decimal(text).quantize(Decimal("0.01"))


# ------------------------------------------------------------------ rows --
class Row:
    """One line of one bill; `line` is its line number once written."""

    def __init__(self, source, when, **cells):
        self.source = source
        self.when = when
        self.cells = cells
        self.line = None

    @property
    def ref(self):
        return "%s:%d" % (self.source, self.line)


class Book:
    """Collects the rows of the four bills and the expected entries."""

    def __init__(self):
        self.rows = {"alipay": [], "wechat": [], "cmb": [], "icbc": []}
        self.expected = []
        self.serial = 0

    def row(self, source, when, **cells):
        r = Row(source, when, **cells)
        self.rows[source].append(r)
        return r

    def expect(self, when, kind, amount, account, remark, hint, rows, to_account=""):
        self.expected.append(
            dict(when=when, kind=kind, amount=amount, account=account,
                 to_account=to_account, remark=remark, hint=hint, rows=rows))

    def next_serial(self):
        self.serial += 1
        return self.serial


def at(stamp):
    return datetime.datetime.strptime(stamp, "%Y-%m-%d %H:%M:%S")


def bank_row(book, bank, when, direction, amount, kind, remark, peer=""):
    """A bank line. `kind` is CMB 交易类型 / ICBC 摘要; `remark` is CMB
    交易备注 / ICBC 交易场所; `peer` is ICBC 对方户名."""
    return book.row(bank, when, direction=direction, amount=amount, kind=kind,
                    remark=remark, peer=peer)


def bank_remark(row):
    return row.cells["remark"] or row.cells["peer"] or row.cells["kind"]


def wallet_bank_row(book, card, when, lag, direction, amount, label):
    """The card's line for a payment made in a wallet: CMB names 支付宝,
    ICBC names 财付通 (all wallet payments of the ICBC card go through WeChat)."""
    bank = CARD_BANK[card]
    booked = when + datetime.timedelta(days=lag, seconds=3)
    if bank == "cmb":
        kind = "快捷支付" if direction == "支出" else "快捷退款"
        return bank_row(book, bank, booked, direction, amount, kind, "支付宝-" + label)
    kind = "消费" if direction == "支出" else "银联入账"
    return bank_row(book, bank, booked, direction, amount, kind, "财付通-" + label,
                    "财付通支付科技有限公司")


# ---------------------------------------------------------------- Alipay --
def alipay(book, stamp, category, peer, item, direction, amount, funding, status,
           peer_account="/", merchant_order="", note="", order=None):
    when = at(stamp)
    if order is None:
        order = "%s22001411560501%06d" % (when.strftime("%Y%m%d"), 300100 + book.next_serial())
    return book.row("alipay", when, category=category, peer=peer, peer_account=peer_account,
                    item=item, direction=direction, amount=money(amount), funding=funding,
                    status=status, order=order, merchant_order=merchant_order, note=note)


def alipay_remark(row):
    c = row.cells
    return next(v for v in (c["note"], c["item"], c["peer"]) if v not in ("", "/"))


def alipay_spend(book, stamp, category, peer, item, amount, funding, lag=0,
                 status="交易成功", merchant_order=""):
    """A purchase in Alipay; paid from a card, the card's line follows `lag`
    days later. Beyond MAX_LAG the two lines are not one spend to the importer."""
    app = alipay(book, stamp, category, peer, item, "支出", amount, funding, status,
                 merchant_order=merchant_order)
    account = FUNDING[funding]
    rows = [app]
    if funding in CARD_BANK:
        bank = wallet_bank_row(book, funding, app.when, lag, "支出", app.cells["amount"], peer)
        if lag <= MAX_LAG:
            rows.append(bank)
        else:
            book.expect(bank.when, "支出", bank.cells["amount"], account, bank_remark(bank),
                        bank.cells["kind"], [bank])
    book.expect(app.when, "支出", app.cells["amount"], account, alipay_remark(app), category, rows)
    return app


def alipay_income(book, stamp, category, peer, item, direction, amount, funding, account,
                  order, peer_account="/"):
    """Money in that stays in Alipay; 余额宝 earnings are written 不计收支."""
    app = alipay(book, stamp, category, peer, item, direction, amount, funding, "交易成功",
                 peer_account=peer_account, order=order)
    book.expect(app.when, "收入", app.cells["amount"], account, alipay_remark(app), category,
                [app])


def alipay_refund(book, stamp, purchase, lag):
    """Full refund of an earlier purchase to the source that paid it."""
    p = purchase.cells
    app = alipay(book, stamp, "退款", p["peer"], "退款-" + p["item"], "不计收支", p["amount"],
                 p["funding"], "退款成功", merchant_order=p["merchant_order"],
                 order="%s_%s00000001" % (p["order"], at(stamp).strftime("%Y%m%d")))
    rows = [app]
    if p["funding"] in CARD_BANK:
        rows.append(wallet_bank_row(book, p["funding"], app.when, lag, "收入", p["amount"],
                                    p["peer"]))
    book.expect(app.when, "退款", -p["amount"], FUNDING[p["funding"]], alipay_remark(app),
                p["category"], rows)


def alipay_move(book, stamp, category, peer, item, amount, funding, source, target,
                lag=0, order=None):
    """Money between the user's own pockets, written 不计收支 by Alipay."""
    app = alipay(book, stamp, category, peer, item, "不计收支", amount, funding, "交易成功",
                 order=order)
    rows = [app]
    if funding in CARD_BANK:
        rows.append(wallet_bank_row(book, funding, app.when, lag, "支出", app.cells["amount"],
                                    item.split("-")[0]))
    book.expect(app.when, "转账", app.cells["amount"], source, alipay_remark(app), "", rows,
                to_account=target)


# ---------------------------------------------------------------- WeChat --
def wechat(book, stamp, kind, peer, item, direction, amount, paid_with, status, order,
           merchant_order="/", note="/"):
    return book.row("wechat", at(stamp), kind=kind, peer=peer, item=item, direction=direction,
                    amount=money(amount), paid_with=paid_with, status=status, order=order,
                    merchant_order=merchant_order, note=note)


def wechat_remark(row):
    c = row.cells
    return next(v for v in (c["item"], c["peer"], c["kind"]) if v not in ("", "/"))


def wechat_order(book, prefix, stamp):
    return "%s%s%010d" % (prefix, at(stamp).strftime("%Y%m%d"), 5501000 + book.next_serial())


def wechat_spend(book, stamp, peer, item, amount, paid_with, lag=0):
    order = wechat_order(book, "420000234", stamp)
    merchant_order = "MO%s%04d" % (at(stamp).strftime("%Y%m%d%H%M%S"), book.serial)
    app = wechat(book, stamp, "商户消费", peer, item, "支出", amount, paid_with, "支付成功",
                 order, merchant_order)
    rows = [app]
    if paid_with in CARD_BANK:
        rows.append(wallet_bank_row(book, paid_with, app.when, lag, "支出", app.cells["amount"],
                                    peer))
    book.expect(app.when, "支出", app.cells["amount"], FUNDING[paid_with], wechat_remark(app),
                "商户消费", rows)


def wechat_person(book, stamp, kind, peer, item, direction, amount):
    """A red packet or transfer to or from a friend: 人情往来, not a move."""
    sent = direction == "支出"
    status = {"转账": "对方已收钱" if sent else "已收钱",
              "微信红包": "支付成功" if sent else "已存入零钱"}[kind]
    app = wechat(book, stamp, kind, peer, item, direction, amount, "零钱" if sent else "/",
                 status, wechat_order(book, "100003990", stamp))
    book.expect(app.when, direction, app.cells["amount"], WECHAT_CHANGE, wechat_remark(app),
                "人情往来", [app])


def wechat_top_up(book, stamp, card, amount):
    app = wechat(book, stamp, "零钱充值", card, "/", "/", amount, card, "充值完成",
                 wechat_order(book, "110190", stamp))
    bank = wallet_bank_row(book, card, app.when, 0, "支出", app.cells["amount"], "微信零钱充值")
    book.expect(app.when, "转账", app.cells["amount"], card, wechat_remark(app), "",
                [app, bank], to_account=WECHAT_CHANGE)


def wechat_withdraw(book, stamp, card, amount, fee, lag, failed=False):
    """零钱 to a card. The bill's amount is what left 零钱: the sum that
    arrives plus the fee noted in 备注."""
    total = money(amount) + money(fee)
    status = "提现失败，已退回零钱" if failed else "提现已到账"
    app = wechat(book, stamp, "零钱提现", card, "/", "/", str(total), card, status,
                 wechat_order(book, "207210", stamp), note="服务费¥%s" % money(fee))
    if failed:
        return
    bank = wallet_bank_row(book, card, app.when, lag, "收入", money(amount), "微信零钱提现")
    book.expect(app.when, "支出", money(fee), WECHAT_CHANGE, app.cells["note"], "服务费", [app])
    book.expect(app.when, "转账", money(amount), WECHAT_CHANGE, wechat_remark(app), "",
                [app, bank], to_account=card)


# ------------------------------------------------------------------ banks --
def bank_only(book, bank, stamp, direction, amount, kind, remark, peer=""):
    r = bank_row(book, bank, at(stamp), direction, money(amount), kind, remark, peer)
    account = {"cmb": CMB_CARD, "icbc": ICBC_CARD}[bank]
    book.expect(r.when, direction, r.cells["amount"], account, bank_remark(r), kind, [r])


def credit_card_repayment(book, stamp, amount):
    r = bank_row(book, "cmb", at(stamp), "支出", money(amount), "银联在线支付",
                 "银联在线支付，某某银行信用卡中心还款业务 尾号9012")
    book.expect(r.when, "转账", r.cells["amount"], CMB_CARD, bank_remark(r), "", [r],
                to_account=CREDIT_CARD)


# ---------------------------------------------------------- ground truth --
def events():
    b = Book()
    # Paid in Alipay on 30 April (April's bill), booked by the bank on 1 May.
    bank_only(b, "cmb", "2026-05-01 08:02:11", "支出", "219.00", "快捷支付",
              "支付宝-山野户外专营店")
    bank_only(b, "cmb", "2026-05-01 09:30:00", "支出", "3200.00", "转账汇款", "转账 陈*明 5月房租")
    wechat_spend(b, "2026-05-02 07:48:20", "早安包子铺", "/", "9.50", "零钱")
    alipay_spend(b, "2026-05-02 12:15:40", "餐饮美食", "兰州牛肉面(科技园店)", "收钱码付款",
                 "22.00", "账户余额")
    wechat_spend(b, "2026-05-03 18:20:05", "青柠水果铺", "水果 3件", "46.50", ICBC_CARD, lag=1)
    alipay_move(b, "2026-05-04 10:00:00", "投资理财", "某某基金管理有限公司", "余额宝-单次转入",
                "2000.00", "账户余额", ALIPAY_BALANCE, YUEBAO,
                order="20260504101000101234560001")
    wechat_top_up(b, "2026-05-05 20:10:00", ICBC_CARD, "500.00")
    # Two identical coffees on one day, each with its own card line.
    alipay_spend(b, "2026-05-06 08:31:02", "餐饮美食", "晨曦咖啡(科技园店)", "美式咖啡 大杯",
                 "15.00", CMB_CARD, merchant_order="CX20260506083100")
    alipay_spend(b, "2026-05-06 15:02:40", "餐饮美食", "晨曦咖啡(科技园店)", "美式咖啡 大杯",
                 "15.00", CMB_CARD, merchant_order="CX20260506150200")
    alipay_spend(b, "2026-05-07 08:05:12", "交通出行", "城市轨道交通", "地铁出行-早高峰", "5.00",
                 "账户余额")
    wechat_spend(b, "2026-05-07 22:40:31", "快马出行", "快车-夜间行程", "27.60", ICBC_CARD, lag=2)
    alipay_spend(b, "2026-05-08 19:05:44", "日用百货", "惠民生活超市", "超市购物", "86.40",
                 CMB_CARD, merchant_order="HM20260508190544")
    mouse = alipay_spend(b, "2026-05-09 21:12:09", "数码电器", "星河数码专营店", "无线鼠标 静音款",
                         "129.00", CMB_CARD, status="交易关闭",
                         merchant_order="T200P5512345600001")
    bank_only(b, "icbc", "2026-05-10 09:00:00", "收入", "12480.00", "工资", "", "北辰软件有限公司")
    alipay_spend(b, "2026-05-10 11:20:00", "日用百货", "绿野超市", "超市购物", "76.30", "余额宝",
                 merchant_order="LY20260510112000")
    alipay_income(b, "2026-05-11 03:10:00", "投资理财", "某某基金管理有限公司",
                  "余额宝-2026.05.10-收益发放", "不计收支", "0.86", "余额宝", YUEBAO,
                  "20260511101000101234560002")
    wechat_person(b, "2026-05-11 19:30:00", "转账", "赵*峰", "转账备注:生日快乐", "支出", "200.00")
    alipay_refund(b, "2026-05-12 10:05:33", mouse, lag=0)
    alipay_income(b, "2026-05-12 14:00:00", "收入", "某某文化传媒有限公司", "稿费结算", "收入",
                  "850.00", "账户余额", ALIPAY_BALANCE, "20260512200010011560501234560004",
                  peer_account="edi***@media.cn")
    # The card line five days after the app line: beyond the lag, two records.
    alipay_spend(b, "2026-05-12 16:45:10", "日用百货", "优家五金店", "收纳箱 2个", "58.00",
                 CMB_CARD, lag=5, merchant_order="YJ20260512164510")
    wechat_person(b, "2026-05-13 21:02:18", "转账", "孙*", "转账备注:还你电影票钱", "收入", "80.00")
    wechat_withdraw(b, "2026-05-14 12:00:00", ICBC_CARD, "500.00", "0.50", lag=1)
    alipay_move(b, "2026-05-15 09:20:00", "账户存取", "招商银行", "充值-普通充值", "1000.00",
                CMB_CARD, CMB_CARD, ALIPAY_BALANCE,
                order="20260515200040011100560012340001")
    alipay_move(b, "2026-05-16 14:00:00", "投资理财", "某某基金管理有限公司", "余额宝-转出到余额",
                "300.00", "余额宝", YUEBAO, ALIPAY_BALANCE, order="20260516101000101234560003")
    credit_card_repayment(b, "2026-05-18 10:30:00", "1860.35")
    wechat_spend(b, "2026-05-19 12:25:00", "老街面馆", "牛肉面 加蛋", "26.00", "零钱")
    wechat_spend(b, "2026-05-20 18:55:42", "社区生鲜超市", "蔬菜 肉类", "132.80", ICBC_CARD)
    alipay_spend(b, "2026-05-21 20:00:01", "充值缴费", "某某供电公司", "电费-户号****3307",
                 "168.50", CMB_CARD, lag=2, merchant_order="DF20260521200001")
    alipay_spend(b, "2026-05-23 18:40:00", "餐饮美食", "湘味小馆", "堂食订单-晚餐2人", "88.00",
                 "账户余额", merchant_order="XW20260523184000")
    wechat_person(b, "2026-05-24 09:15:00", "微信红包", "妈妈", "/", "收入", "100.00")
    bank_only(b, "icbc", "2026-05-25 17:30:00", "支出", "300.00", "银联消费", "城东加油站")
    # Rows every importer skips: a failed withdrawal and an order closed unpaid.
    wechat_withdraw(b, "2026-05-26 08:00:00", ICBC_CARD, "100.00", "0.10", lag=0, failed=True)
    alipay(b, "2026-05-27 13:30:00", "日用百货", "优选小店", "手工皂礼盒", "不计收支", "45.00", "",
           "交易关闭", merchant_order="T200P5512345600002")
    alipay_spend(b, "2026-05-28 08:10:30", "交通出行", "城市轨道交通", "地铁出行-早高峰", "4.00",
                 "账户余额")
    wechat_spend(b, "2026-05-29 12:05:00", "美味外卖平台商户", "外卖订单-黄焖鸡米饭", "31.90",
                 ICBC_CARD, lag=1)
    return b


# ----------------------------------------------------------------- render --
ALIPAY_HEAD = ("交易时间            ,交易分类                ,交易对方                "
               ",对方账号                ,商品说明                ,收/支                 "
               ",金额                  ,收/付款方式              ,交易状态                "
               ",交易订单号     ,商家订单号           ,备注                  ,")
ALIPAY_NOTES = [
    "1.本回单内容可表明支付宝受理了相应支付交易申请，因系统原因或通讯故障等偶发因素导致本回单与实际交易结果不符时，以实际交易情况为准；",
    "2.请勿将本回单作为收款方发货的凭据使用，请查证账户实际到账情况后再进行发货操作；",
    "3.支付宝快捷支付等非余额支付方式可能既产生支付宝交易也同步产生银行交易，因此请勿使用本回单进行重复记账；",
    "4.本回单如经任何涂改、编造，均立即失去效力；",
    "5.部分账单如：充值提现、账户转存或者个人设置收支等不计入为收入或者支出，记为不计收支类；",
    "6.因统计逻辑不同，明细金额直接累加后，可能会和下方统计金额不一致，请以实际交易金额为准；",
    "7.禁止将本回单用于非法用途；",
    "8.本明细仅展示当前账单中的交易，不包括已删除的记录；",
    "9.本明细仅供个人对账使用。",
]


def totals(rows, values):
    out = []
    for v in values:
        sel = [r for r in rows if r.cells["direction"] == v]
        out.append((len(sel), sum((r.cells["amount"] for r in sel), Decimal("0.00"))))
    return out


def render_alipay(rows):
    (ni, si), (ne, se), (nn, sn) = totals(rows, ["收入", "支出", "不计收支"])
    lines = ["-" * 84, "导出信息：", "姓名：林**", "支付宝账户：lin***@example.com",
             "起始时间：[2026-05-01 00:00:00]    终止时间：[2026-05-31 23:59:59]",
             "导出交易类型：[全部]", "导出时间：[2026-06-01 08:12:45]", "共%d笔记录" % len(rows),
             "收入：%d笔 %s元" % (ni, si), "支出：%d笔 %s元" % (ne, se),
             "不计收支：%d笔 %s元" % (nn, sn), "", "特别提示："] + ALIPAY_NOTES + [
             "", "-" * 24 + "支付宝（中国）网络技术有限公司  电子客户回单" + "-" * 24, ALIPAY_HEAD]
    for r in rows:
        c = r.cells
        cells = [r.when.strftime("%Y-%m-%d %H:%M:%S"), c["category"], c["peer"],
                 c["peer_account"], c["item"], c["direction"], str(c["amount"]), c["funding"],
                 c["status"]]
        line = [v.ljust(20) for v in cells]
        line += [c["order"] + "\t", (c["merchant_order"] or " " * 20) + "\t",
                 c["note"].ljust(20), ""]
        lines.append(",".join(line))
    return lines


def render_wechat(rows):
    (ni, si), (ne, se), (nn, sn) = totals(rows, ["收入", "支出", "/"])
    pre = ["微信支付账单明细", "微信昵称：[阿林]",
           "起始时间：[2026-05-01 00:00:00] 终止时间：[2026-05-31 23:59:59]", "导出类型：[全部]",
           "导出时间：[2026-06-01 08:20:00]", "", "共%d笔记录" % len(rows),
           "收入：%d笔 %s元" % (ni, si), "支出：%d笔 %s元" % (ne, se), "中性交易：%d笔 %s元" % (nn, sn),
           "注：", "1. 充值/提现/理财通购买/零钱通存取/信用卡还款等交易，将计入中性交易",
           "2. 本明细仅展示当前账单中的交易，不包括已删除的记录", "3. 本明细仅供个人对账使用", "",
           "----------------------微信支付账单明细列表--------------------"]
    lines = [p + "," * 8 for p in pre]
    lines.append("交易时间,交易类型,交易对方,商品,收/支,金额(元),支付方式,当前状态,交易单号,商户单号,备注")
    for r in rows:
        c = r.cells
        lines.append(",".join([
            r.when.strftime("%Y-%m-%d %H:%M:%S"), c["kind"], c["peer"], '"%s"' % c["item"],
            c["direction"], "¥%s" % c["amount"], c["paid_with"], c["status"], c["order"] + "\t",
            c["merchant_order"] + "\t", '"%s"' % c["note"]]))
    return lines


def with_balances(rows, opening):
    """(row, balance after it), oldest first."""
    out, bal = [], opening
    for r in sorted(rows, key=lambda r: r.when):
        bal += r.cells["amount"] if r.cells["direction"] == "收入" else -r.cells["amount"]
        out.append((r, bal))
    return out


def render_cmb(rows):
    lines = ['"# 招商银行交易记录"', '"# 导出时间: [            2026-06-01 07:55:21]"',
             '"# 账    号: [一卡通:6214********1234   招商银行]"',
             '"# 币    种: [                         人民币]"',
             '"# 起始日期: [20260501]   终止日期: [20260531]"', '"# 过滤设置:  无"', "",
             '"交易日期","交易时间","收入","支出","余额","交易类型","交易备注"']
    for r, bal in reversed(with_balances(rows, OPENING["cmb"])):
        c = r.cells
        inc = str(c["amount"]) if c["direction"] == "收入" else ""
        exp = str(c["amount"]) if c["direction"] == "支出" else ""
        cells = ["\t" + r.when.strftime("%Y%m%d"), "\t" + r.when.strftime("%H:%M:%S"), inc, exp,
                 str(bal), c["kind"], "\t" + c["remark"]]
        lines.append(",".join('"%s"' % v for v in cells))
    (ni, si), (ne, se) = totals(rows, ["收入", "支出"])
    lines += ["", '"# 收入合计: %d 笔，共 %s 元"' % (ni, si), '"# 支出合计: %d 笔，共 %s 元"' % (ne, se)]
    return lines


def gbk_pad(text, width):
    return text + " " * (width - len(text.encode("gbk"))) + "\t"


def render_icbc(rows):
    lines = ["明细查询文件下载", "", '卡号: 6222****5678,"卡别名: 工资卡"', "",
             '子账户序号: 00000,子账户类别: 活期,"子账户别名: "', "",
             "交易日期,摘要,交易场所,交易国家或地区简称,钞/汇,交易金额(收入),交易金额(支出),"
             "交易币种,记账金额(收入),记账金额(支出),记账币种,余额,对方户名"]
    q = lambda text, width: '"%s"' % gbk_pad(text, width)
    for r, bal in reversed(with_balances(rows, OPENING["icbc"])):
        c = r.cells
        amt = "{:,.2f}".format(c["amount"])
        inc, exp = (amt, "") if c["direction"] == "收入" else ("", amt)
        lines.append(",".join([
            gbk_pad(r.when.strftime("%Y-%m-%d"), 15), q(c["kind"], 20), q(c["remark"], 60),
            q("CHN", 20), gbk_pad("钞", 10), q("-", 20), q("-", 20), gbk_pad("-", 15),
            q(inc, 20), q(exp, 20), gbk_pad("人民币", 15), q("{:,.2f}".format(bal), 20),
            q(c["peer"], 140), ""]))
    (_, si), (_, se) = totals(rows, ["收入", "支出"])
    lines += [" ", "人民币合计,,,,,,,,%s,%s," % (q("{:,.2f}".format(si), 18),
                                              q("{:,.2f}".format(se), 18))]
    return lines


HEADER_LINE = {"alipay": 25, "wechat": 17, "cmb": 8, "icbc": 7}


def number_lines(book):
    """Bills list the newest row first; number each row by its file line."""
    for source, rows in book.rows.items():
        rows.sort(key=lambda r: r.when, reverse=True)
        for i, r in enumerate(rows):
            r.line = HEADER_LINE[source] + 1 + i


def render_expected(book):
    out = io.StringIO()
    w = csv.writer(out, lineterminator="\n")
    w.writerow(["date", "kind", "amount", "account", "to_account", "category_hint", "remark",
                "sources"])
    entries = sorted(book.expected,
                     key=lambda e: (e["when"].date(), KIND_ORDER.index(e["kind"]), e["when"]))
    for e in entries:
        rows = sorted(e["rows"], key=lambda r: list(HEADER_LINE).index(r.source))
        sources = "+".join(r.ref for r in rows)
        w.writerow([e["when"].strftime("%Y-%m-%d"), e["kind"], str(e["amount"]), e["account"],
                    e["to_account"], e["hint"], e["remark"], sources])
    return out.getvalue()


FILES = {"alipay": ("alipay.csv", "gbk", "\r\n", render_alipay),
         "wechat": ("wechat.csv", "utf-8-sig", "\n", render_wechat),
         "cmb": ("cmb.csv", "gbk", "\r\n", render_cmb),
         "icbc": ("icbc.csv", "utf-8", "\r\n", render_icbc)}


def write():
    book = events()
    number_lines(book)
    for source, (name, encoding, eol, render) in FILES.items():
        lines = render(book.rows[source])
        assert lines[HEADER_LINE[source] - 1].lstrip('"').startswith("交易"), name
        text = "".join(line + eol for line in lines)
        with open("%s/%s" % (HERE, name), "wb") as f:
            f.write(text.encode(encoding))
    with open(HERE + "/expected.csv", "w", encoding="utf-8", newline="") as f:
        f.write(render_expected(book))


# ------------------------------------------------------------------ check --
def read_rows(source):
    """Data rows of a written bill as {line: cells}, found from the header."""
    name, encoding, eol, _ = FILES[source]
    with open("%s/%s" % (HERE, name), "rb") as f:
        text = f.read().decode(encoding)
    out, in_data = {}, False
    for no, line in enumerate(text.split(eol), 1):
        cells = [c.strip(" \t") for c in next(csv.reader([line]))] if line else []
        if in_data and cells and re.match(r"^\d{4}-?\d{2}-?\d{2}", cells[0]):
            out[no] = cells
        in_data = in_data or no == HEADER_LINE[source]
    return out


def check():
    """Re-derive every account's net change from the written bills alone and
    compare it with the net of expected.csv; pair the card lines of wallet
    payments independently and compare the pairs with the merges listed in
    expected.csv; check each entry's date and order, and that every bill
    line is used by an entry or is one the importers skip."""
    with open(HERE + "/expected.csv", encoding="utf-8") as f:
        expected = list(csv.DictReader(f))
    bills = {s: read_rows(s) for s in FILES}
    net, derived, pairs = {}, {}, set()

    def add(book, account, amount):
        book[account] = book.get(account, Decimal("0.00")) + amount

    for e in expected:
        amount = Decimal(e["amount"])
        if e["kind"] == "转账":
            add(net, e["account"], -amount)
            add(net, e["to_account"], amount)
        else:
            add(net, e["account"], amount if e["kind"] == "收入" else -amount)

    def number(text):
        return Decimal(text.replace(",", "") or "0")

    # Cards: the statement's closing balance less its opening balance.
    statement = {"cmb": (CMB_CARD, 2, 3, 4, 6, "支付宝-"),
                 "icbc": (ICBC_CARD, 8, 9, 11, 2, "财付通-")}
    for bank, (card, inc, exp, bal, _, _) in statement.items():
        rows = list(bills[bank].values())
        oldest = rows[-1]
        opening = number(oldest[bal]) - number(oldest[inc]) + number(oldest[exp])
        add(derived, card, number(rows[0][bal]) - opening)

    def day(cells):
        ymd = cells[0][:10].replace("-", "")
        return datetime.date(int(ymd[:4]), int(ymd[4:6]), int(ymd[6:]))

    def card_move(ref, when, card, amount):
        """A card's side of a wallet line: already in the statement when a
        line naming the wallet with this amount follows within the lag."""
        bank = CARD_BANK[card]
        _, inc, exp, _, label, prefix = statement[bank]
        for line in sorted(bills[bank], reverse=True):
            c = bills[bank][line]
            lag = (day(c) - when).days
            if (0 <= lag <= MAX_LAG and c[label].startswith(prefix)
                    and number(c[inc]) - number(c[exp]) == amount
                    and not any(p[1] == "%s:%d" % (bank, line) for p in pairs)):
                pairs.add((ref, "%s:%d" % (bank, line)))
                return
        add(derived, card, amount)

    def wallet_move(ref, when, funding, amount):
        if funding in CARD_BANK:
            card_move(ref, when, funding, amount)
        else:
            add(derived, FUNDING[funding], amount)

    # Wallets and the credit card: from the bill lines that touch them.
    for line, c in sorted(bills["alipay"].items(), reverse=True):
        ref, when = "alipay:%d" % line, day(c)
        status, item, amount, funding = c[8], c[4], Decimal(c[6]), c[7]
        if c[5] == "支出":
            wallet_move(ref, when, funding, -amount)
        elif status == "交易关闭" or funding == "":
            continue
        elif c[5] == "收入" or status == "退款成功":
            wallet_move(ref, when, funding, amount)
        elif item.endswith("-收益发放"):
            add(derived, YUEBAO, amount)
        else:  # into 余额宝, out of it, or a top-up of the balance
            wallet_move(ref, when, funding, -amount)
            add(derived, YUEBAO if item == "余额宝-单次转入" else ALIPAY_BALANCE, amount)
    for line, c in sorted(bills["wechat"].items(), reverse=True):
        ref, when = "wechat:%d" % line, day(c)
        amount = Decimal(c[5].lstrip("¥"))
        if "失败" in c[7]:
            continue
        if c[4] == "支出":
            wallet_move(ref, when, c[6], -amount)
        elif c[4] == "收入":
            add(derived, WECHAT_CHANGE, amount)
        elif c[1] == "零钱充值":
            wallet_move(ref, when, c[6], -amount)
            add(derived, WECHAT_CHANGE, amount)
        elif c[1] == "零钱提现":
            add(derived, WECHAT_CHANGE, -amount)
            wallet_move(ref, when, c[6], amount - Decimal(c[10].replace("服务费¥", "")))
    for c in bills["cmb"].values():
        if "尾号9012" in c[6]:
            add(derived, CREDIT_CARD, number(c[3]))

    problems = []
    for account in sorted(set(net) | set(derived)):
        if net.get(account) != derived.get(account):
            problems.append("%s: expected.csv nets %s, the bills %s"
                            % (account, net.get(account), derived.get(account)))
    merged = {tuple(e["sources"].split("+")) for e in expected if "+" in e["sources"]}
    for pair in sorted(merged ^ pairs):
        problems.append("merge %s is %s" % ("+".join(pair), "only in expected.csv"
                                            if pair in merged else "missing from expected.csv"))
    order = [(e["date"], KIND_ORDER.index(e["kind"])) for e in expected]
    if order != sorted(order):
        problems.append("expected.csv is not ordered by date and kind")
    used = set()
    for e in expected:
        refs = e["sources"].split("+")
        used.update(refs)
        source, line = refs[0].split(":")
        if day(bills[source][int(line)]).isoformat() != e["date"]:
            problems.append("%s is not dated as %s" % (e["sources"], refs[0]))
    skipped = {"alipay:%d" % n for n, c in bills["alipay"].items()
               if c[8] == "交易关闭" and c[5] != "支出"}
    skipped |= {"wechat:%d" % n for n, c in bills["wechat"].items() if "失败" in c[7]}
    for source, rows in bills.items():
        for line in rows:
            ref = "%s:%d" % (source, line)
            if ref in skipped and ref in used:
                problems.append(ref + " should be skipped")
            if ref not in skipped and ref not in used:
                problems.append(ref + " is in no entry")
    return problems


if __name__ == "__main__":
    write()
    problems = check()
    for p in problems:
        print(p)
    raise SystemExit(1 if problems else 0)
