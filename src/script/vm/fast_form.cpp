#include "script/vm/fast_form.h"

#include <algorithm>
#include <climits>

#include "script/vm/script_engine.h"

namespace kelo {

namespace {

bool IsScalar(int32_t t) { return t == kTypeBool || t == kTypeInt || t == kTypeDouble; }
bool IsBinary(int32_t f) { return f >= 0 && f <= 11 && f != 8; }
// not, negation, toInt, toDouble
bool IsUnary(int32_t f) { return f == 14 || f == 49 || f == 69 || f == 70; }
// A node that pushes a variable's value (not a literal).
bool IsSlotLoad(const FastNode& n) { return n.code < kNodeLoad + kFetchConst; }
bool IsStore(int32_t f) { return f >= 35 && f <= 40; }
bool IsIncDec(int32_t f) { return f >= 44 && f <= 47; }
// Calls with more parameters than this stay in the documented form (bounded work per instruction).
constexpr int32_t kMaxFusedParams = 16;

class Builder {
public:
    explicit Builder(const ScriptProgram& p) : p_(p), code_(p.code), n_(static_cast<int32_t>(p.code.size())) {}

    FastForm build() {
        markTargets();
        out_.at.assign(static_cast<size_t>(n_) + 1, -1);
        std::vector<int32_t> nextPc, altPc;  // code-list positions, resolved to fast indices below
        int32_t pc = 0;
        while (pc < n_) {
            FastInstruction in;
            int32_t nx = -1, alt = -1;
            int32_t end = fuse(pc, in, nx, alt);
            if (end < 0 && op(pc) == kOpStatement && pc + 1 < n_ && !target_[static_cast<size_t>(pc + 1)]) {
                end = fuse(pc + 1, in, nx, alt);
                if (end >= 0) {
                    in.marker = pc;
                    in.covered += 1;
                }
            }
            if (end < 0) {
                in = FastInstruction();
                in.kind = kFastPlain;
                in.position = code_[static_cast<size_t>(pc)].position;
                end = pc + 1;
            }
            in.pc = pc;
            if (in.kind == kFastPlain) in.body = pc;
            if (nx < 0) nx = end;
            out_.at[static_cast<size_t>(pc)] = static_cast<int32_t>(out_.code.size());
            out_.code.push_back(std::move(in));
            nextPc.push_back(nx);
            altPc.push_back(alt);
            pc = end;
        }
        // The end of the list: the documented loop raises its error there.
        FastInstruction past;
        past.pc = past.body = n_;
        out_.at[static_cast<size_t>(n_)] = static_cast<int32_t>(out_.code.size());
        out_.code.push_back(past);
        nextPc.push_back(n_);
        altPc.push_back(-1);
        for (size_t k = 0; k < out_.code.size(); ++k) {
            out_.code[k].next = fastIndex(nextPc[k]);
            out_.code[k].alt = fastIndex(altPc[k]);
        }
        return std::move(out_);
    }

private:
    const ScriptProgram& p_;
    const std::vector<ScriptInstruction>& code_;
    int32_t n_;
    std::vector<uint8_t> target_;
    FastForm out_;

    int32_t op(int32_t pc) const { return pc >= 0 && pc < n_ ? code_[static_cast<size_t>(pc)].op : -1; }
    const ScriptInstruction& at(int32_t pc) const { return code_[static_cast<size_t>(pc)]; }
    bool inside(int32_t pc) const { return pc >= 0 && pc < n_; }
    int32_t fastIndex(int32_t pc) const {
        if (pc < 0 || pc > n_) return -1;
        return out_.at[static_cast<size_t>(pc)];
    }
    void mark(int32_t pc) {
        if (inside(pc)) target_[static_cast<size_t>(pc)] = 1;
    }

    // Every position control can arrive at other than from the instruction before it.
    void markTargets() {
        target_.assign(static_cast<size_t>(n_), 0);
        for (int32_t pc = 0; pc < n_; ++pc) {
            const ScriptInstruction& in = at(pc);
            switch (in.op) {
                case kOpJump:
                case kOpFramePush:
                    mark(in.target);
                    break;
                case kOpJumpIfTrue:
                    mark(in.target);
                    // A fused branch continues after the drop at its target.
                    if (op(in.target) == kOpDrop) mark(in.target + 1);
                    break;
                case kOpCall:
                case kOpCallByName:
                    mark(pc + 2);  // where the return lands
                    break;
                default:
                    break;
            }
        }
        for (const ScriptFunction& f : p_.functions) mark(f.entry);
        for (int32_t g : p_.globalInits) mark(g);
        mark(p_.entry);
    }

    // The instructions s..e-1 can be one: none but s is a target and all share s's line.
    bool straight(int32_t s, int32_t e) const {
        if (!inside(s) || e > n_) return false;
        for (int32_t k = s + 1; k < e; ++k)
            if (target_[static_cast<size_t>(k)] || at(k).position != at(s).position) return false;
        return true;
    }

    // Tries every fused kind at s; the end of the covered range, or -1.
    int32_t fuse(int32_t s, FastInstruction& in, int32_t& nx, int32_t& alt) {
        in = FastInstruction();
        in.body = s;
        in.position = at(s).position;
        // A call or a return takes the values it needs with it, so it is tried first.
        int32_t end = call(s, in);
        if (end >= 0) alt = in.target;  // where the call continues
        if (end < 0) end = ret(s, in);
        if (end < 0) end = expression(s, in, nx, alt);
        if (end < 0 && op(s) == kOpPush) {
            in = FastInstruction();
            in.body = s;
            in.position = at(s).position;
            in.kind = kFastPush;
            in.count = at(s).aMode;
            in.count2 = at(s).aOffset;
            end = s + 1;
        }
        if (end < 0) end = pushFilled(s, in);
        if (end < 0) end = afterCall(s, in);
        if (end < 0) return -1;
        in.covered = end - s;
        // A jump right after the range is taken as part of it.
        if (nx < 0 && in.kind != kFastCall && in.kind != kFastReturn && op(end) == kOpJump && !target_[static_cast<size_t>(end)] &&
            inside(at(end).target)) {
            nx = at(end).target;
            in.covered += 1;
            ++end;
        }
        return end;
    }

    // A run of operands and operators in postfix order, as the code list pushes them.
    struct Values {
        std::vector<FastNode> nodes;
        int32_t depth = 0, ops = 0, maxDepth = 0, consumed = 0, highestLoad = INT32_MIN;
        bool bottomAlone = true;  // the first value is still a lone operand under the others
        // Values below the start that an operator needs are taken from the stack: they go first
        // in postfix order, the deepest first.
        void consume(int32_t need) {
            while (depth < need) {
                ++consumed;
                FastNode c{};
                c.code = kNodeLoad + kFetchConsumed;
                c.fetch = kFetchConsumed;
                c.offset = -consumed;
                nodes.insert(nodes.begin(), c);
                ++depth;
            }
            if (depth > maxDepth) maxDepth = depth;
        }
    };

    // Adds the instruction c to q; false when it is nothing a fused expression can hold.
    static bool addValue(Values& q, const ScriptInstruction& c) {
        FastNode node{};
        if (c.op == kOpPush) {
            // Offsets this far cannot name a slot of any stack (see FastReach).
            if (c.aOffset < -kScriptVarStackSlots || c.aOffset > kScriptVarStackSlots) return false;
            // Parameters and globals at their offsets from the base; locals below the top.
            if (c.aMode == kModeArgBase) node.fetch = kFetchArg;
            else if (c.aMode == kModeVarBase) node.fetch = kFetchGlobal;
            else if (c.aMode == kModeVarTop) node.fetch = kFetchTop;
            else return false;
            if (c.aMode != kModeVarTop && c.aOffset < 0) return false;
            node.code = kNodeLoad + node.fetch;
            node.offset = c.aOffset;
            if (c.aMode == kModeVarTop) {
                // Only slots below the expression: its own values are not in slots.
                if (q.depth + c.aOffset >= 0) return false;
                node.offset = q.depth + c.aOffset;
                if (node.offset > q.highestLoad) q.highestLoad = node.offset;
            }
            if (q.depth + 1 > kFastMaxDepth) return false;
            ++q.depth;
        } else if (c.op == kOpDeclare && c.count == kDeclareConstant && IsScalar(c.value.dataType)) {
            if (q.depth + 1 > kFastMaxDepth) return false;
            node.code = kNodeLoad + kFetchConst;
            node.fetch = kFetchConst;
            node.type = c.value.dataType;
            node.value = c.value.value;
            ++q.depth;
        } else if (c.op == kOpCallSystem && c.count2 == 2 && IsBinary(c.count) && q.depth + q.consumed < kFastMaxDepth) {
            q.consume(2);
            node.code = kNodeBinary + kFetchStack;
            node.fetch = kFetchStack;
            node.op = static_cast<int16_t>(c.count);
            --q.depth;
            ++q.ops;
        } else if (c.op == kOpIndex && q.depth + q.consumed < kFastMaxDepth) {
            // Only as an operand: the element's own cell is what an indexing leaves on the
            // stack, so an expression never ends in one (see pushEnd in expression).
            q.consume(2);
            node.code = kNodeBinary + kFetchStack;
            node.fetch = kFetchStack;
            node.op = kNodeOpIndex;
            --q.depth;
            ++q.ops;
        } else if (c.op == kOpCallSystem && c.count2 == 1 && IsUnary(c.count) && q.depth + q.consumed < kFastMaxDepth) {
            q.consume(1);
            node.code = kNodeUnary;
            node.fetch = kFetchStack;
            node.op = static_cast<int16_t>(c.count);
            ++q.ops;
        } else {
            return false;
        }
        q.nodes.push_back(node);
        if (q.depth > q.maxDepth) q.maxDepth = q.depth;
        if (q.nodes.size() > 1 && q.depth < 2) q.bottomAlone = false;
        return true;
    }

    // The whole of s..e-1 as values: every instruction one a fused expression can hold, all on
    // s's line, none but s a target.
    bool values(int32_t s, int32_t e, Values& q) const {
        if (s < e && !straight(s, e)) return false;
        for (int32_t i = s; i < e; ++i)
            if (!addValue(q, at(i))) return false;
        return true;
    }

    int32_t expression(int32_t s, FastInstruction& in, int32_t& nx, int32_t& alt) {
        Values q;
        int32_t pushEnd = -1, pushNodes = 0, pushMax = 0, pushConsumed = 0, pushHighest = INT32_MIN;
        const int32_t pos = at(s).position;
        int32_t i = s;
        for (; i < n_ && (i == s || !target_[static_cast<size_t>(i)]) && at(i).position == pos; ++i) {
            if (!addValue(q, at(i))) break;
            if (q.depth == 1 && q.ops > 0 && q.nodes.back().op != kNodeOpIndex) {
                pushEnd = i + 1;
                pushNodes = static_cast<int32_t>(q.nodes.size());
                pushMax = q.maxDepth;
                pushConsumed = q.consumed;
                pushHighest = q.highestLoad;
            }
        }
        std::vector<FastNode>& nodes = q.nodes;
        const int32_t depth = q.depth, maxDepth = q.maxDepth, consumed = q.consumed;
        const bool bottomAlone = q.bottomAlone;
        // Only a pushed result may use values taken from the stack, and no operand may name a
        // slot that is taken.
        if (consumed > 0) {
            if (pushEnd > 0 && pushConsumed == consumed && pushHighest < -consumed) {
                in.kind = kFastExprPush;
                in.count = pushMax;
                in.consumed = consumed;
                nodes.resize(static_cast<size_t>(pushNodes));
                return finishNodes(in, nodes, pushEnd);
            }
            if (pushEnd > 0 && pushConsumed == 0) {
                nodes.erase(nodes.begin(), nodes.begin() + consumed);
                nodes.resize(static_cast<size_t>(pushNodes));
                in.kind = kFastExprPush;
                in.count = pushMax;
                return finishNodes(in, nodes, pushEnd);
            }
            return -1;
        }
        const bool open = i < n_ && !target_[static_cast<size_t>(i)] && i > s;
        const int32_t f = open ? at(i).count : -1;
        // An assignment or increment of a lone variable, its result dropped.
        if (open && at(i).op == kOpCallSystem && op(i + 1) == kOpDrop && straight(s, i + 2) && bottomAlone &&
            IsSlotLoad(nodes[0]) &&
            ((IsStore(f) && at(i).count2 == 2 && depth == 2) || (IsIncDec(f) && at(i).count2 == 1 && depth == 1))) {
            in.kind = kFastExprStmt;
            in.root = f;
            in.count = maxDepth;
            return finishNodes(in, nodes, i + 2);
        }
        // A condition: true continues after the drop at the target, false where the jump goes.
        if (open && depth == 1 && at(i).op == kOpJumpIfTrue && at(i).aMode == kModeVarTop && at(i).aOffset == -1 &&
            op(at(i).target) == kOpDrop && op(i + 1) == kOpDrop && op(i + 2) == kOpJump && !target_[static_cast<size_t>(i + 1)] &&
            !target_[static_cast<size_t>(i + 2)] && inside(at(i + 2).target) && inside(at(i).target + 1)) {
            in.kind = kFastBranch;
            in.count = maxDepth;
            nx = at(i).target + 1;
            alt = at(i + 2).target;
            return finishNodes(in, nodes, i + 3);
        }
        if (pushEnd > 0) {
            nodes.resize(static_cast<size_t>(pushNodes));
            in.kind = kFastExprPush;
            in.count = pushMax;
            return finishNodes(in, nodes, pushEnd);
        }
        return -1;
    }

    int32_t finishNodes(FastInstruction& in, const std::vector<FastNode>& nodes, int32_t end) {
        merge(in, nodes);
        const FastNode* n = out_.nodes.data() + in.nodeBegin;
        const int32_t size = in.nodeEnd - in.nodeBegin;
        // The two commonest statements of loops get instructions of their own.
        if (in.kind == kFastExprStmt && IsIncDec(in.root)) {
            in.kind = kFastIncDec;
            in.count2 = (in.root == 44 || in.root == 46) ? 1 : -1;
        } else if (in.kind == kFastBranch && size == 2 && IsSlotLoad(n[0]) && n[1].code >= kNodeBinary &&
                   n[1].fetch != kFetchStack && n[1].op <= 5) {
            in.kind = kFastCompare;
        }
        return end;
    }

    void merge(FastInstruction& in, const std::vector<FastNode>& nodes) {
        in.nodeBegin = static_cast<int32_t>(out_.nodes.size());
        for (const FastNode& n : nodes) {
            // In postfix order a leaf right before an operator is its right operand.
            FastNode* last = out_.nodes.size() > static_cast<size_t>(in.nodeBegin) ? &out_.nodes.back() : nullptr;
            if (n.code == kNodeBinary + kFetchStack && last != nullptr && last->code < kNodeBinary &&
                out_.nodes.size() - static_cast<size_t>(in.nodeBegin) >= 2) {
                last->code = static_cast<uint8_t>(kNodeBinary + last->fetch);
                last->op = n.op;
                continue;
            }
            out_.nodes.push_back(n);
        }
        in.nodeEnd = static_cast<int32_t>(out_.nodes.size());
        // The typed form stops at a node of its own after the instruction's nodes.
        FastNode end{};
        end.code = kNodeUnary;
        end.typed = kTypedEnd;
        out_.nodes.push_back(end);
        // An assignment's first node is the variable it stores into.
        in.typed = typeNodes(in.nodeBegin + (in.kind == kFastExprStmt ? 1 : 0), in.nodeEnd, in.kind == kFastCall);
        for (int32_t k = in.nodeBegin; k < in.nodeEnd; ++k) {
            const FastNode& n = out_.nodes[static_cast<size_t>(k)];
            FastReach& r = in.reach;
            if (n.fetch == kFetchTop || n.fetch == kFetchConsumed) r.topMin = std::min(r.topMin, n.offset);
            if (n.fetch == kFetchArg) r.argMax = std::max(r.argMax, n.offset);
            if (n.fetch == kFetchGlobal) r.globalMax = std::max(r.globalMax, n.offset);
            if (n.fetch == kFetchArg || n.fetch == kFetchGlobal) r.localsOnly = false;
        }
    }

    // Gives the nodes [b, e) their typed codes when every value among them can be told to be an
    // int, an array or a bool; the type of the value(s) they leave (all ints when several), or
    // kTypeVoid when they have no typed form.
    int32_t typeNodes(int32_t b, int32_t e, bool several) {
        struct Entry {
            int32_t type, producer;
        };
        std::vector<Entry> st;
        std::vector<FastNode>& nodes = out_.nodes;
        // The value a node left becomes an array: it must be a variable's or an element's.
        auto toArray = [&](Entry& v) {
            if (v.type != kTypeInt) return false;
            FastNode& p = nodes[static_cast<size_t>(v.producer)];
            if (p.typed == TypedCode(kGroupLoadInt, p.fetch) && p.fetch != kFetchConst) {
                p.typed = TypedCode(kGroupLoadArray, p.fetch);
            } else if (p.typed == TypedCode(kGroupIndexInt, p.fetch)) {
                p.typed = TypedCode(kGroupIndexArray, p.fetch);
            } else {
                return false;
            }
            v.type = kTypeArray;
            return true;
        };
        bool ok = true;
        for (int32_t k = b; ok && k < e; ++k) {
            FastNode& n = nodes[static_cast<size_t>(k)];
            if (n.code < kNodeBinary) {
                ok = n.fetch != kFetchConst || n.type == kTypeInt;
                n.typed = TypedCode(kGroupLoadInt, n.fetch);
                st.push_back({kTypeInt, k});
            } else if (n.code < kNodeUnary) {
                Entry right{kTypeInt, k};
                if (n.fetch == kFetchStack) {
                    if (st.size() < 2) return kTypeVoid;
                    right = st.back();
                    st.pop_back();
                } else if (n.fetch == kFetchConst && n.type != kTypeInt) {
                    return kTypeVoid;
                }
                if (st.empty()) return kTypeVoid;
                Entry& left = st.back();
                if (right.type != kTypeInt) return kTypeVoid;
                if (n.op == kNodeOpIndex) {
                    ok = toArray(left);
                    n.typed = TypedCode(kGroupIndexInt, n.fetch);
                    left = {kTypeInt, k};
                } else {
                    static constexpr uint8_t kGroups[] = {kGroupEq,  kGroupNe,  kGroupLt,  kGroupLe,
                                                          kGroupGt,  kGroupGe,  kGroupAdd, kGroupSub,
                                                          kGroupAdd, kGroupMul, kGroupDiv, kGroupMod};
                    ok = left.type == kTypeInt && n.op >= 0 && n.op <= 11 && n.op != 8;
                    if (ok) n.typed = TypedCode(kGroups[n.op], n.fetch);
                    left = {n.op <= 5 ? kTypeBool : kTypeInt, k};
                }
            } else {
                ok = !st.empty() && st.back().type == kTypeInt && (n.op == 49 || n.op == 69);
                n.typed = TypedCode(n.op == 49 ? kGroupNegate : kGroupKeep, 0);
                if (ok) st.back().producer = k;
            }
        }
        if (!ok || st.empty() || (!several && st.size() != 1)) return kTypeVoid;
        for (const Entry& v : st)
            if (v.type != kTypeInt && (several || v.type != kTypeBool)) return kTypeVoid;
        return st.back().type;
    }

    // A new slot on the variable stack with a fresh scalar (or empty) cell: a call's return slot.
    int32_t pushFilled(int32_t s, FastInstruction& in) {
        if (op(s) != kOpVarTop || at(s).count != 1 || op(s + 1) != kOpFill || !straight(s, s + 2)) return -1;
        const ScriptInstruction& f = at(s + 1);
        if (f.aMode != kModeVarTop || f.aOffset != -1) return -1;
        if (!IsScalar(f.value.dataType) && f.value.dataType != kTypeVoid) return -1;
        in.kind = kFastPushFilled;
        in.valueType = f.value.dataType;
        in.value = f.value.value;
        return s + 2;
    }

    // The compiler's call of a script function: its return slot (when the arguments are all
    // fused expressions), the arguments' values, parameter slots, their fresh cells, the bindings,
    // the frame record, the parameter base, the return position and the jump to the entry.
    // Arguments pushed before the range are taken off the stack.
    int32_t call(int32_t s, FastInstruction& in) {
        FastInstruction slot;
        int32_t k = s;
        if (pushFilled(s, slot) > 0) k = s + 2;
        const int32_t argsBegin = k;
        while (inside(k) && op(k) != kOpArgTop && op(k) != kOpFramePush && k - argsBegin <= 4 * kFastMaxDepth) ++k;
        const int32_t argsEnd = k;
        int32_t np = 0;
        if (op(k) == kOpArgTop) {
            np = at(k).count;
            if (np < 1 || np > kMaxFusedParams) return -1;
            ++k;
            for (int32_t j = 0; j < np; ++j, ++k) {
                const ScriptInstruction& f = at(k);
                if (op(k) != kOpFill || f.aMode != kModeArgTop || f.aOffset != -np + j || !IsScalar(f.value.dataType)) return -1;
                in.paramTypes.push_back(f.value.dataType);
            }
            for (int32_t j = 0; j < np; ++j, ++k) {
                const ScriptInstruction& b = at(k);
                if (op(k) != kOpBind || b.aMode != kModeVarTop || b.aOffset != -np + j || b.bMode != kModeArgTop ||
                    b.bOffset != -np + j || b.count == kBindInitialiser)
                    return -1;
            }
            if (op(k) != kOpVarTop || at(k).count != -np) return -1;
            ++k;
        }
        if (op(k) != kOpFramePush) return -1;
        const int32_t entry = at(k).target;
        ++k;
        int32_t base = 0;
        if (op(k) == kOpArgBase) {
            base = at(k).count;
            ++k;
        }
        if (op(k) != kOpCall || op(k + 1) != kOpJump || at(k + 1).target != entry || !inside(entry)) return -1;
        if (!straight(s, k + 2)) return -1;
        // The argument values: those of the range, after any taken off the stack.
        Values q;
        if (!values(argsBegin, argsEnd, q) || q.depth > np) return -1;
        q.consume(np);
        if (q.maxDepth > kFastMaxDepth || q.highestLoad >= -q.consumed) return -1;
        // The return slot would sit between the stack's values and the range's.
        const bool pushes = argsBegin > s;
        if (pushes && (q.consumed > 0 || q.highestLoad >= -1)) return -1;
        in.kind = kFastCall;
        in.count = np;
        in.count2 = base;
        in.target = entry;
        in.root = k;  // the call instruction: the return position pushed
        in.consumed = q.consumed;
        in.slots = q.maxDepth + (pushes ? 1 : 0);
        in.pushesSlot = pushes;
        in.valueType = slot.valueType;
        in.value = slot.value;
        merge(in, q.nodes);
        return k + 2;
    }

    int32_t afterCall(int32_t s, FastInstruction& in) {
        if (op(s) != kOpFramePop) return -1;
        int32_t end = s + 1;
        in.count = 0;
        if (op(end) == kOpArgBase && straight(s, end + 1)) in.count = at(end++).count;
        in.kind = kFastAfterCall;
        return end;
    }

    // The returned value (when the function has one): an expression or a value already on the
    // stack, bound into the return slot; then the frame's slots and parameters are dropped and
    // the function returns.
    int32_t ret(int32_t s, FastInstruction& in) {
        int32_t k = s;
        while (inside(k) && op(k) != kOpBind && op(k) != kOpReturn && op(k) != kOpVarTop && op(k) != kOpArgTop &&
               k - s <= 4 * kFastMaxDepth)
            ++k;
        const int32_t bind = k;
        in.count = 0;   // variable slots dropped
        in.count2 = 0;  // parameters dropped
        in.root = 0;    // result slot distance, 0 when nothing is bound
        if (op(k) == kOpBind) {
            const ScriptInstruction& b = at(k);
            if (b.aMode != kModeVarTop || b.aOffset != -1 || b.bMode != kModeVarTop || b.bOffset > -2 ||
                b.count == kBindInitialiser)
                return -1;
            in.root = -b.bOffset;
            ++k;
        } else if (bind > s) {
            return -1;
        }
        if (op(k) == kOpVarTop && at(k).count < 0) in.count = -at(k++).count;
        if (op(k) == kOpArgTop && at(k).count < 0) in.count2 = -at(k++).count;
        // The frame's removal may carry the next line (the compiler's position after the
        // statement); only the value and its binding can fail, so the range keeps their line.
        const int32_t rest = in.root > 0 ? bind + 1 : s;
        if (op(k) != kOpReturn || !inside(rest) || (rest > s && target_[static_cast<size_t>(rest)]) ||
            !straight(rest, k + 1) || (rest > s && !straight(s, rest)))
            return -1;
        Values q;
        if (in.root > 0 && in.count < 1) return -1;  // the value's slot must go with the frame
        if (in.root > 0) {
            // The value: the range's expression, or the one on top of the stack.
            if (!values(s, bind, q) || q.depth > 1) return -1;
            q.consume(1);
            if (q.maxDepth > kFastMaxDepth || q.highestLoad >= -q.consumed) return -1;
        }
        in.kind = kFastReturn;
        in.consumed = q.consumed;
        in.slots = q.maxDepth;
        merge(in, q.nodes);
        return k + 1;
    }
};

}  // namespace

FastForm BuildFastForm(const ScriptProgram& program) { return Builder(program).build(); }

}  // namespace kelo
