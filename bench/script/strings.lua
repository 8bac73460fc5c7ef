local s = ""
for i = 0, 399999 do
    s = s .. tostring(i % 10)
    if #s > 1000 then s = string.sub(s, -10) end
end
print(s)
