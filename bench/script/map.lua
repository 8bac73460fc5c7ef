local m = {}
local n = 0
for i = 0, 299999 do
    local k = i * 7 % 300000
    if m[k] == nil then m[k] = i; n = n + 1 end
end
local sum = 0
for k = 0, 299999 do
    local v = m[k]
    if v ~= nil then sum = (sum + v) % 1000003 end
end
print(n .. " " .. sum)
