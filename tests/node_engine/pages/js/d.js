order.push('d');
