local Arr = {}
Arr.__index = Arr
function Arr.new() return setmetatable({n = 0}, Arr) end
function Arr:add(v) self.n = self.n + 1; self[self.n] = v end
function Arr:getSize() return self.n end
function Arr:getAt(i) return self[i + 1] end
local a = Arr.new()
for i = 0, 999 do a:add(i * 3 % 101) end
local s = 0
for k = 0, 2999 do
    local i = 0
    while i < a:getSize() do s = (s + a:getAt(i) * k) % 1000003; i = i + 1 end
end
print(s)
